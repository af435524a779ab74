#include "pages/tip_pages.h"

#include <QString>

#include "pages/message_pages.h"

namespace harbeat {

int16_t TipCountdown = -1;
int16_t FaqIndex = 1;
int16_t FaqCount = 23;

void ShowFaqPage(int16_t mode) {
    if (mode == 0) {
        FaqIndex = 1;
    } else if (mode == 2) {
        FaqIndex = FaqIndex >= FaqCount ? 1 : static_cast<int16_t>(FaqIndex + 1);
    } else {
        FaqIndex = FaqIndex <= 1 ? FaqCount : static_cast<int16_t>(FaqIndex - 1);
    }
    TipCountdown = mode == kRotationMode ? kTipTicks : kChosenTipTicks;
    ShowMessage(QStringLiteral("faq") + QString::number(FaqIndex));
}

}  // namespace harbeat
