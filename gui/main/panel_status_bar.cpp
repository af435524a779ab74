#include "main/panel_status_bar.h"

#include <QLabel>

namespace harbeat {

PanelStatusBar::PanelStatusBar(QWidget *parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    for (QLabel *&label : panels_) {
        label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // a long text must not widen the window
        addWidget(label, 1);
    }
}

QLabel *PanelStatusBar::panel(int panel) const { return panels_[panel == 2 ? 1 : 0]; }

void PanelStatusBar::setPanelText(int number, const QString &text) { panel(number)->setText(text); }

QString PanelStatusBar::panelText(int number) const { return panel(number)->text(); }

}  // namespace harbeat
