#pragma once

#include <QDialog>

class QPushButton;

// "打开 Word 文档": annotate the document here (result 1) or hand it to the
// system's program (result 2); any other way of closing gives 0.
class WordQuestion : public QDialog
{
    Q_OBJECT
public:
    enum Choice { NoChoice = 0, Annotate = 1, OpenInWord = 2 };

    WordQuestion(const QString &fileName, QWidget *parent = nullptr);
    QPushButton *annotateButton() const { return m_annotate; }
    QPushButton *openInWordButton() const { return m_openInWord; }

    // Shows the question modally and returns the choice.
    static Choice ask(const QString &fileName, QWidget *parent);

private:
    QPushButton *m_annotate = nullptr;
    QPushButton *m_openInWord = nullptr;
};
