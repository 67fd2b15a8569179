// The kernel texts module: the database kernel's user-interface texts as eight families of
// numbered texts, translated like any form. Creating it fills the kernel's message variables and
// grid texts with them; the program creates none.
#pragma once

#include <platform/ui/forms.h>

#include <QStringList>

#include <memory>

class TLC;

class TLCC : public TDataModule
{
    Q_OBJECT

public:
    explicit TLCC(QObject* parent = nullptr);
    ~TLCC() override;

    TLC* LC1;
    TLC* db_list;
    TLC* db_edit;
    TLC* sys_msg;
    TLC* db_sql;
    TLC* month;
    TLC* day;
    TLC* grid_const;

    // Copies the texts the kernel reads into its message variables and grid texts (after the
    // module's texts are translated).
    void LCCCreate(QObject* Sender);
    void LCCDestroy(QObject* Sender);

private:
    TLC* family(const char* name, const QStringList& texts);

    // The module's own list, made by LCCCreate and freed by LCCDestroy.
    std::unique_ptr<QStringList> m_list;
};
