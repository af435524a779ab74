#include "main/main_layout.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeView>
#include <algorithm>

#include "main/animation_player.h"
#include "main/frm_main.h"
#include "main/panel_status_bar.h"
#include "main/song_list_model.h"
#include "platform/twips.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

// The controls below the toolbar, from the toolbar's bottom edge, as designed.
constexpr double kStyleLabelTop = 60;
constexpr double kLabelHeight = 255;
constexpr double kGroupsTop = 330;
constexpr double kGroupsHeight = 1455;
constexpr double kKeywordLabelTop = 1845;
constexpr double kKeywordTop = 2100;
constexpr double kKeywordHeight = 345;
constexpr double kSongsTop = 2520;
constexpr double kHeadTop = 60;
constexpr double kHeadGap = 60;  // between the header pane and the message pane

int px(double twips) { return twipsToPixels(twips); }

}  // namespace

MainLayout computeMainLayout(const MainLayoutInput &input) {
    MainLayout layout;
    layout.leftWidth = std::max(input.innerWidth - kPaneWidth, 100.0);
    layout.paneLeft = layout.leftWidth;
    layout.paneWidth = kPaneWidth;
    layout.headLeft = layout.leftWidth + 60;
    layout.headWidth = 3880;
    layout.listWidth = std::max(layout.leftWidth - 30, 0.0);
    layout.groupColumns = std::max(roundToInt32((layout.listWidth + 1) / kGroupColumnWidth), 1);
    layout.listHeight = std::max(input.statusBarTop - input.songsTop, 100.0);
    layout.titleColumnWidth =
        std::max(layout.listWidth - input.groupColumnWidth - input.saveTimeColumnWidth - 300, 0.0);
    layout.aniLeft = input.innerWidth - 30 - input.aniWidth;
    layout.toolbarWidth = input.innerWidth - input.aniWidth - 90;
    layout.progressWidth = kProgressWidth;
    layout.progressLeft = input.innerWidth - kProgressWidth;
    layout.progressTop = 10;
    layout.panelWidth = input.innerWidth / 2;
    return layout;
}

void frmMain::Form_Resize() {
    if (isMinimized()) return;
    const int toolbarHeight = barToolbar->sizeHint().height();
    const int bandTop = toolbarHeight;  // the controls below the toolbar start here
    const int songsTop = bandTop + px(kSongsTop);
    const int statusTop = central_->height();  // the status bar begins where the central area ends

    MainLayoutInput input;
    input.innerWidth = pixelsToTwips(central_->width());
    input.songsTop = pixelsToTwips(songsTop);
    input.statusBarTop = pixelsToTwips(statusTop);
    input.aniWidth = pixelsToTwips(ani->sizeHint().width());
    input.groupColumnWidth = pixelsToTwips(lstSongs->header()->sectionSize(SongListModel::Group));
    input.saveTimeColumnWidth = pixelsToTwips(lstSongs->header()->sectionSize(SongListModel::SaveTime));
    const MainLayout layout = computeMainLayout(input);

    barToolbar->setGeometry(0, 0, std::max(px(layout.toolbarWidth), 0), toolbarHeight);
    ani->setGeometry(px(layout.aniLeft), 0, ani->sizeHint().width(), toolbarHeight);

    const int listWidth = px(layout.listWidth);
    Label2->setGeometry(0, bandTop + px(kStyleLabelTop), listWidth, px(kLabelHeight));
    lstGroups->setGeometry(0, bandTop + px(kGroupsTop), listWidth, px(kGroupsHeight));
    Label1->setGeometry(0, bandTop + px(kKeywordLabelTop), listWidth, px(kLabelHeight));
    txtSearch->setGeometry(0, bandTop + px(kKeywordTop), listWidth, px(kKeywordHeight));
    lstSongs->setGeometry(0, songsTop, listWidth, px(layout.listHeight));
    lstSongs->header()->resizeSection(SongListModel::SongTitle, px(layout.titleColumnWidth));

    // The category list shows exactly that many columns: items flow down and wrap into columns
    // of equal width.
    const int columnWidth = std::max(lstGroups->contentsRect().width() / layout.groupColumns, 1);
    lstGroups->setGridSize(QSize(columnWidth, lstGroups->fontMetrics().height() + 4));

    const int headTop = bandTop + px(kHeadTop);
    wbrHead->setGeometry(px(layout.headLeft), headTop, px(layout.headWidth),
                         std::max(songsTop - px(kHeadGap) - headTop, 0));
    wbr->setGeometry(px(layout.paneLeft), songsTop, px(layout.paneWidth), px(layout.listHeight));

    pbProgress->setGeometry(px(layout.progressLeft), px(layout.progressTop), px(layout.progressWidth),
                            barStatusbar->height());
    pbProgress->raise();
    // The panels share the bar equally (same stretch); neither may grow past its half.
    for (int panel : {1, 2}) barStatusbar->panel(panel)->setMaximumWidth(px(layout.panelWidth));
}

}  // namespace harbeat
