#pragma once

#include <QAbstractButton>
#include <QColor>

// One pen colour of the pen card: a dot of the colour, ringed in the accent
// when it is the pen's colour and faintly while the mouse is over it.
class ColorSwatch : public QAbstractButton
{
    Q_OBJECT
public:
    ColorSwatch(const QColor &color, const QString &name, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    QString name() const { return m_name; }
    void setSide(int side);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QColor m_color;
    QString m_name;
    int m_side = 40;
};
