#include "app/passworddialog.h"

#include "ui/uimetrics.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PasswordDialog::PasswordDialog(const QString &fileName, bool retry, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("passwordDialog"));
    setWindowTitle(QStringLiteral("打开受保护的 PDF"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    auto *label = new QLabel(QStringLiteral("此 PDF 受密码保护，请输入密码"), this);
    label->setWordWrap(true);
    column->addWidget(label);
    auto *name = new QLabel(QStringLiteral("「%1」").arg(fileName), this);
    name->setWordWrap(true);
    column->addWidget(name);

    const int target = uiMetrics(font()).touchTarget;
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("passwordEdit"));
    m_edit->setEchoMode(QLineEdit::Password);
    m_edit->setMinimumHeight(target);
    // The on-screen keyboard must neither predict nor remember what is typed.
    m_edit->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText
                                | Qt::ImhNoAutoUppercase);
    column->addWidget(m_edit);
    if (retry) {
        auto *note = new QLabel(QStringLiteral("密码不正确，请重新输入"), this);
        note->setObjectName(QStringLiteral("wrongPasswordNote"));
        note->setWordWrap(true);
        QFont bold = note->font();
        bold.setBold(true);
        note->setFont(bold);
        column->addWidget(note);
    }

    auto *row = new QHBoxLayout;
    row->setSpacing(12);
    const auto addButton = [&](const QString &text) {
        auto *button = new QPushButton(text, this);
        button->setMinimumSize(2 * target, target);
        button->setCursor(Qt::PointingHandCursor);
        row->addWidget(button, 1);
        return button;
    };
    m_ok = addButton(QStringLiteral("确定"));
    m_cancel = addButton(QStringLiteral("取消"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    column->addLayout(row);
    m_edit->setFocus();
}

QString PasswordDialog::password() const
{
    return m_edit->text();
}

bool PasswordDialog::ask(const QString &fileName, bool retry, QWidget *parent, QString *password)
{
    PasswordDialog dialog(fileName, retry, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *password = dialog.password();
    return true;
}
