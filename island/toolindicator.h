#pragma once

#include <QWidget>

// The soft highlight behind the island's checked tool button. It sits below
// the buttons in their parent and never takes input; the island moves it.
class ToolIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit ToolIndicator(QWidget *parent = nullptr);

    void setCornerRadius(double radius);
    double cornerRadius() const { return m_radius; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_radius = 8;
};
