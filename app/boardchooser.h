#pragma once

#include "files/boardpdf.h"

#include <QDialog>
#include <QList>

class QAbstractButton;
class QCheckBox;

// The small card that picks a board's ruling and background. It opens on
// the last choice and remembers the new one in the settings.
class BoardChooser : public QDialog
{
    Q_OBJECT
public:
    BoardChooser(const QString &title, const QString &confirm, QWidget *parent = nullptr);

    BoardStyle style() const;
    void setStyle(const BoardStyle &style);
    QAbstractButton *kindButton(BoardKind kind) const;
    QCheckBox *chalkBox() const { return m_chalk; }

    // Runs the card; false when the teacher cancels.
    static bool ask(const QString &title, const QString &confirm, QWidget *parent, BoardStyle *style);

private:
    QList<QAbstractButton *> m_kinds;
    QCheckBox *m_chalk = nullptr;
};

// The remembered choice (a grid on white the first time).
BoardStyle rememberedBoardStyle();
void rememberBoardStyle(const BoardStyle &style);
