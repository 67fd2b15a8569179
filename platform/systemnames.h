// The constants and types of the window system that the program's own code has always named, kept
// under those names in this one place: modal results (mr*), message box kinds (mt*) and buttons
// (mb*), close actions (ca*), screen cursors (cr*) and the form event types. Only the dialogs and
// the forms include it (a driver has an mrNone of its own). The runtime library's routines keep
// their names in regional.h; the rest of platform/ is named in Qt's manner.
#pragma once

#include <QFlags>
#include <QtCore/qnamespace.h>

#include <functional>

class QObject;

// ---- dialogs

// Modal results: what a modal form or a message box ended with.
enum : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10
};

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned {
    mbYes = 0x001,
    mbNo = 0x002,
    mbOK = 0x004,
    mbCancel = 0x008,
    mbAbort = 0x010,
    mbRetry = 0x020,
    mbIgnore = 0x040,
    mbAll = 0x080,
    mbNoToAll = 0x100,
    mbYesToAll = 0x200
};
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

// ---- forms

// What happens to a form once it agreed to close.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TNotifyEvent = std::function<void(QObject* sender)>;
using TCloseQueryEvent = std::function<void(QObject* sender, bool& canClose)>;
using TCloseEvent = std::function<void(QObject* sender, TCloseAction& action)>;
// `key` is a Qt::Key; a handler that sets it to 0 swallows the key, one that changes it hands
// the changed key on.
using TKeyEvent = std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers shift)>;

// The cursor over every window of the program (see setScreenCursor).
enum TCursor { crDefault = 0, crHourGlass = -11 };
