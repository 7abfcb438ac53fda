#pragma once

#include <QString>

// Every message box of the program goes through here. The app shows a modal box;
// tests record the call, so no test ever waits on a box.
class MessageSeam
{
public:
    // The titles of the program's boxes.
    static inline const QString kWarnTitle = QStringLiteral("温馨提示！");
    static inline const QString kErrorTitle = QStringLiteral("错误提示！");

    virtual ~MessageSeam() = default;
    // A warning box with the exclamation icon and one OK button.
    virtual void warn(const QString &title, const QString &text) = 0;
    // An error box with the stop icon and one OK button. A detail, when given, sits behind
    // the box's "show details" button; a reason, when given, is shown in the box itself,
    // under the text, to be read without a click. The title and text stay as they are.
    virtual void error(const QString &title, const QString &text,
                       const QString &detail = QString(), const QString &reason = QString()) = 0;
};
