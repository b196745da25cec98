#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QWidget>

#include "ui/glyphs.h"

class QVariantAnimation;

// The settings page's frame: navigation rail, row glyphs, the program's
// badge and the cross-fade between categories.

// One category in the rail: glyph, and its label while the rail is unfolded.
class NavItem : public QAbstractButton
{
    Q_OBJECT
public:
    NavItem(Glyph glyph, const QString &label, QWidget *parent = nullptr);
    void setFolded(bool folded);
    bool isFolded() const { return m_folded; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Glyph m_glyph;
    bool m_folded = false;
};

// The column of NavItems; exactly one is checked.
class RailPane : public QWidget
{
    Q_OBJECT
public:
    explicit RailPane(QWidget *parent = nullptr);
    NavItem *addItem(Glyph glyph, const QString &label);
    void setFolded(bool folded);
    bool isFolded() const { return m_folded; }
    NavItem *item(int index) const { return m_items.value(index); }

signals:
    void picked(int index);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<NavItem *> m_items;
    bool m_folded = false;
};

// The leading glyph of a settings row on a soft accent tile.
class GlyphBox : public QWidget
{
    Q_OBJECT
public:
    explicit GlyphBox(Glyph glyph, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Glyph m_glyph;
};

// The program's badge, painted large on the identity card.
class AppBadge : public QWidget
{
    Q_OBJECT
public:
    explicit AppBadge(QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Cross-fades two captures over the widget it covers, then hides.
class FadeThrough : public QWidget
{
    Q_OBJECT
public:
    explicit FadeThrough(QWidget *parent);
    static constexpr int kDurationMs = 300;
    void run(const QPixmap &from, const QPixmap &to, int durationMs);
    bool isRunning() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVariantAnimation *m_animation = nullptr;
    QPixmap m_from;
    QPixmap m_to;
    double m_progress = 0;
};
