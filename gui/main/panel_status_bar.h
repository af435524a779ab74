// The main window's status bar `barStatusbar`: two text panels side by side, numbered 1 and 2.
// Panel 1 shows the engine's status and errors, panel 2 the time of the last search result.
#pragma once

#include <QStatusBar>

class QLabel;

namespace harbeat {

class PanelStatusBar final : public QStatusBar {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget *parent = nullptr);

    void setPanelText(int panel, const QString &text);
    QString panelText(int panel) const;
    QLabel *panel(int panel) const;

private:
    QLabel *panels_[2];
};

}  // namespace harbeat
