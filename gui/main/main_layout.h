// Where the main window's controls go for a given window size. All lengths are twips of the
// window's inner area; computeMainLayout is a pure function, Form_Resize applies its result.
#pragma once

namespace harbeat {

// The right-hand panes' width; the left-hand lists get the rest.
inline constexpr double kPaneWidth = 4000;
// Width of one column of the category list.
inline constexpr double kGroupColumnWidth = 1215;
inline constexpr double kProgressWidth = 2060;

struct MainLayoutInput {
    double innerWidth = 0;
    double songsTop = 0;      // top of lstSongs (and of wbr beside it)
    double statusBarTop = 0;  // top of the status bar
    double aniWidth = 0;
    double groupColumnWidth = 0;     // the "Group" column of lstSongs
    double saveTimeColumnWidth = 0;  // the "Save Time" column of lstSongs
};

struct MainLayout {
    double leftWidth = 0;  // L: the left-hand side, at least 100
    double paneLeft = 0;   // wbr
    double paneWidth = 0;
    double headLeft = 0;  // wbrHead
    double headWidth = 0;
    double listWidth = 0;         // lstSongs and lstGroups
    int groupColumns = 1;         // columns of lstGroups
    double listHeight = 0;        // lstSongs and wbr
    double titleColumnWidth = 0;  // the "Song Title" column
    double aniLeft = 0;           // ani's right edge stays 30 from the window's
    double toolbarWidth = 0;
    double progressLeft = 0;  // pbProgress, relative to the status bar
    double progressTop = 0;
    double progressWidth = 0;
    double panelWidth = 0;  // each of the two status-bar panels
};

MainLayout computeMainLayout(const MainLayoutInput &input);

}  // namespace harbeat
