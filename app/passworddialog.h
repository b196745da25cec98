#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// "打开受保护的 PDF": asks for the password of a locked PDF with buttons a
// finger can hit. The password never leaves the caller's memory.
class PasswordDialog : public QDialog
{
    Q_OBJECT
public:
    // retry shows the note that the last password was wrong.
    PasswordDialog(const QString &fileName, bool retry, QWidget *parent = nullptr);
    QString password() const;
    QLineEdit *passwordEdit() const { return m_edit; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }

    // Shows the dialog modally; false when it was closed without 确定.
    // An empty password is a valid answer.
    static bool ask(const QString &fileName, bool retry, QWidget *parent, QString *password);

private:
    QLineEdit *m_edit = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
