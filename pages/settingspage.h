#pragma once

#include <QWidget>

// Settings page placeholder: a title; the categories come later.
class SettingsPage : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsPage(QWidget *parent = nullptr);

signals:
    void themeChanged();
    void palmEraserChanged();
    void toolbarStyleChanged();
    void statusMessage(const QString &message);
};
