// A file saved anew at a given moment, as an exporting program or Breeze would leave it.
#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

inline void setModified(const QString& path, const QDateTime& when)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
}
