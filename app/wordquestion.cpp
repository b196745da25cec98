#include "app/wordquestion.h"

#include "ui/uimetrics.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WordQuestion::WordQuestion(const QString &fileName, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("wordQuestion"));
    setWindowTitle(QStringLiteral("打开 Word 文档"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    auto *label = new QLabel(QStringLiteral("「%1」要如何打开？").arg(fileName), this);
    label->setWordWrap(true);
    column->addWidget(label);

    auto *row = new QHBoxLayout;
    row->setSpacing(12);
    const int target = uiMetrics(font()).touchTarget;
    const auto addButton = [&](const QString &text, Choice choice) {
        auto *button = new QPushButton(text, this);
        button->setMinimumSize(2 * target, target);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, this, [this, choice] { done(choice); });
        row->addWidget(button, 1);
        return button;
    };
    m_annotate = addButton(QStringLiteral("批注"), Annotate);
    m_openInWord = addButton(QStringLiteral("用 Word 打开"), OpenInWord);
    m_annotate->setDefault(true);
    column->addLayout(row);
}

WordQuestion::Choice WordQuestion::ask(const QString &fileName, QWidget *parent)
{
    WordQuestion question(fileName, parent);
    const int result = question.exec();
    return result == Annotate || result == OpenInWord ? Choice(result) : NoChoice;
}
