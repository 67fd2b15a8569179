// The log viewer window, and the reading of the end of a log file.
#include "showlog.h"

#include <platform/codepage.h>

#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QUORVANE_FORM(TLOGForm);

TLOGForm::TLOGForm(QWidget* parent) : TForm(parent)
{
    createComponents();
    layoutComponents();
}

void TLOGForm::createComponents()
{
    setCaption(QStringLiteral("LOG"));
    mLOG = makeComponent<QPlainTextEdit>("mLOG", "TMemo");
    mLOG->setReadOnly(true);
    mLOG->setLineWrapMode(QPlainTextEdit::NoWrap);
    mLOG->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mLOG->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void TLOGForm::layoutComponents()
{
    setWindowFlags(Qt::Dialog);
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->addWidget(mLOG);
    setDesignedSize(640, 400);
}

void TLOGForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && !(event->modifiers() & ~Qt::KeypadModifier)) {
        Close();
        return;
    }
    TForm::keyPressEvent(event);
}

QStringList ReadLogTail(const QString& FileName, qint64 MaxBytes)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    // Lines are counted with their own line ends, so a file written with CR LF and one written
    // with LF alone both keep their last MaxBytes bytes.
    qint64 remaining = bytes.size();
    qsizetype start = 0;
    while (remaining > MaxBytes && start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        remaining -= end - start;
        start = end;
    }
    QStringList lines;
    qsizetype pos = start;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        QByteArray line = bytes.mid(pos, end - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << codepage::fromAnsi(line);
        pos = end + 1;
    }
    return lines;
}
