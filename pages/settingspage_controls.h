#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QMenu>
#include <QPushButton>
#include <QStringList>

class QActionGroup;
class QVariantAnimation;

// The settings page's own controls, painted from the theme record.

// An on/off switch whose knob glides to its side.
class ToggleSwitch : public QAbstractButton
{
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    // Moves to on without a signal and without the glide (reverting a failed write).
    void setCheckedQuietly(bool on);

protected:
    void paintEvent(QPaintEvent *event) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    void animateTo(bool on);
    QVariantAnimation *m_knob = nullptr;
    double m_position = 0; // 0 off .. 1 on
};

// The drop-down of a SettingsSelect: exclusive checkable entries.
class SelectMenu : public QMenu
{
    Q_OBJECT
public:
    explicit SelectMenu(QWidget *parent = nullptr);
    void setEntries(const QStringList &titles, const QStringList &notes);
    void setCurrent(int index);
    QAction *entry(int index) const;
    // Shows at pos, fading in unless motion is reduced.
    void popupFaded(const QPoint &pos);

signals:
    void picked(int index);

private:
    QActionGroup *m_group = nullptr;
    QList<QAction *> m_entries;
};

// A button naming the current choice; picking another one emits changed.
class SettingsSelect : public QPushButton
{
    Q_OBJECT
public:
    explicit SettingsSelect(const QStringList &titles, const QStringList &notes = {},
                            QWidget *parent = nullptr);
    int currentIndex() const { return m_index; }
    // No signal: initialising or reverting.
    void setCurrentIndex(int index);
    SelectMenu *menu() const { return m_menu; }

signals:
    void changed(int index);

private:
    SelectMenu *m_menu = nullptr;
    QStringList m_titles;
    int m_index = 0;
};

// A round, checkable seed-colour swatch.
class SeedSwatch : public QAbstractButton
{
    Q_OBJECT
public:
    SeedSwatch(const QColor &seed, const QString &name, QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QColor seed() const { return m_seed; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_seed;
};
