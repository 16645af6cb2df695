#include "app/StatusPanel.h"
#include "app/HtmlPage.h"

#include <gtest/gtest.h>

TEST(StatusPanel, TestLineHtmlInBothModes) {
    EXPECT_EQ(StatusPanel::TestLine(TestLineMode::Running, "").second,
              "<div style=\"float:left\"><img src=\"res://orv.exe/143\" align=\"absmiddle\">&nbsp;Testing the proxy "
              "list...</div><div class=\"right\"><span id=\"progress\">0</span>%</div>");
    EXPECT_EQ(StatusPanel::TestLine(TestLineMode::Running, "42").second,
              "<div style=\"float:left\"><img src=\"res://orv.exe/143\" align=\"absmiddle\">&nbsp;Testing the proxy "
              "list...</div><div class=\"right\"><span id=\"progress\">42</span>%</div>");
    EXPECT_EQ(StatusPanel::TestLine(TestLineMode::LastTested, "").second,
              "<div style=\"float:left\">The proxies were last tested at:</div><div class=\"right\"><span "
              "id=\"date\">(not tested yet)</span></div>");
    PanelUpdate idle = StatusPanel::TestLine(TestLineMode::LastTested, "2026-12-07 10:11:12");
    EXPECT_EQ(idle.first, "test");
    EXPECT_NE(idle.second.find("<span id=\"date\">2026-12-07 10:11:12</span>"), std::string::npos);
}

TEST(StatusPanel, TickShowsOnlyWhatChanged) {
    StatusPanel panel;
    EXPECT_TRUE(panel.Tick({}).empty()); // everything starts shown as 0

    std::vector<PanelUpdate> first = panel.Tick({3, 0, 1, 10, 0});
    EXPECT_EQ(first, (std::vector<PanelUpdate>{{"level1", "3"}, {"level3", "1"}, {"progress", "10"}}));

    EXPECT_TRUE(panel.Tick({3, 0, 1, 10, 0}).empty());
    EXPECT_EQ(panel.Tick({3, 0, 1, 11, 2}), (std::vector<PanelUpdate>{{"progress", "11"}, {"ready", "2"}}));
    EXPECT_EQ(panel.Tick({3, 0, -1, 11, 2}), (std::vector<PanelUpdate>{{"level3", "-1"}}));
}

TEST(StatusPanel, FullRefreshOfAnIdleListWithAnActiveProxy) {
    PanelSnapshot snapshot{12, 3, 4, 5, 2, false, "2026-12-07 10:11:12", std::string("10.0.0.1:8080")};
    PanelRefresh refresh = StatusPanel::FullRefresh(snapshot);
    ASSERT_EQ(refresh.updates.size(), 7u);
    EXPECT_EQ(refresh.updates[0], PanelUpdate("total", "12"));
    EXPECT_EQ(refresh.updates[4], PanelUpdate("ready", "2"));
    EXPECT_EQ(refresh.updates[5], StatusPanel::TestLine(TestLineMode::LastTested, "2026-12-07 10:11:12"));
    EXPECT_EQ(refresh.updates[6], PanelUpdate("activeproxy", "10.0.0.1:8080"));
    EXPECT_TRUE(refresh.animateTray);
    EXPECT_FALSE(refresh.clearLastTested);
}

TEST(StatusPanel, FullRefreshOfAnEmptyListForgetsTheLastTestAndKeepsARunningTestLine) {
    PanelSnapshot empty{0, 0, 0, 0, 0, false, "2026-12-07 10:11:12", std::nullopt};
    PanelRefresh idle = StatusPanel::FullRefresh(empty);
    EXPECT_TRUE(idle.clearLastTested);
    EXPECT_FALSE(idle.animateTray);
    EXPECT_EQ(idle.updates[5], StatusPanel::TestLine(TestLineMode::LastTested, ""));
    EXPECT_EQ(idle.updates.back(), PanelUpdate("activeproxy", "None"));

    empty.testing = true;
    PanelRefresh testing = StatusPanel::FullRefresh(empty);
    for (const auto& update : testing.updates) {
        EXPECT_NE(update.first, "test");
    }
}

TEST(HtmlPage, SetInnerHtmlChangesOnlyThatElement) {
    HtmlPage page("<table><tr><td id=\"total\">0</td><td id=level1 align=center>0</td></tr>"
                  "<tr><td id='test'><div><div>x</div></div></td></tr></table>");
    EXPECT_TRUE(page.SetInnerHtml("level1", "17"));
    EXPECT_TRUE(page.SetInnerHtml("test", "<b>new</b>"));
    EXPECT_EQ(page.Text(), "<table><tr><td id=\"total\">0</td><td id=level1 align=center>17</td></tr>"
                           "<tr><td id='test'><b>new</b></td></tr></table>");
    EXPECT_EQ(page.InnerHtml("total"), "0");
}

// The view sizes cells only by their width attribute: the style's widths by id become attributes for
// display, so that a column does not follow its digits; the page text itself stays as it is.
TEST(HtmlPage, CellsShowTheWidthsThePagesStyleGivesTheirIds) {
    const std::string style = "<style>#a { width: 17%; }\n#b, #c {WIDTH:22%} .x { width: 5px } #d { min-width: 9px; }"
                              "</style>";
    HtmlPage page(style + "<td id=\"a\">0</td><th id=b width=9>0</th><td id='c'>0</td><td id=\"d\">0</td><td>0</td>");
    EXPECT_EQ(page.DisplayText(), style + "<td width=\"17%\" id=\"a\">0</td><th id=b width=9>0</th>"
                                          "<td width=\"22%\" id='c'>0</td><td id=\"d\">0</td><td>0</td>");
    EXPECT_EQ(page.Text().find("width=\"17%\""), std::string::npos);
}

TEST(HtmlPage, NestedElementsOfTheSameNameCloseAtTheRightTag) {
    HtmlPage page("<div id=\"a\"><div>in</div><div/>tail</div><div id=\"b\">b</div>");
    EXPECT_TRUE(page.SetInnerHtml("a", "A"));
    EXPECT_EQ(page.Text(), "<div id=\"a\">A</div><div id=\"b\">b</div>");
}

TEST(HtmlPage, MissingOrUnclosedElementsLeaveTheTextAlone) {
    const std::string text = "<p id=\"open\">no end<img id=\"pic\" src=x><span ID=\"Case\">c</span>"
                             "<!-- <b id=\"hidden\">x</b> --><script>var s = '<i id=\"code\">';</script>";
    HtmlPage page(text);
    EXPECT_FALSE(page.SetInnerHtml("missing", "x"));
    EXPECT_FALSE(page.SetInnerHtml("open", "x"));
    EXPECT_FALSE(page.SetInnerHtml("pic", "x"));    // an image has no inner HTML
    EXPECT_FALSE(page.SetInnerHtml("case", "x"));   // ids compare exactly
    EXPECT_FALSE(page.SetInnerHtml("hidden", "x")); // comments and scripts hold no elements
    EXPECT_FALSE(page.SetInnerHtml("code", "x"));
    EXPECT_EQ(page.Text(), text);
    EXPECT_TRUE(page.SetInnerHtml("Case", "C"));
}

TEST(HtmlPage, DisplayTextPutsAFloatPairSideBySideInTheLookOfItsCell) {
    HtmlPage page("<td class=\"current\" colspan=\"5\"><div style=\"float: left\">Current Active Proxy:</div>"
                  "<div class=\"right\" id=\"activeproxy\">None</div></td>");
    EXPECT_EQ(page.DisplayText(),
              "<td class=\"current\" colspan=\"5\"><table width=\"100%\" cellpadding=\"0\" cellspacing=\"0\"><tr>"
              "<td valign=\"middle\" class=\"current\">Current Active Proxy:</td>"
              "<td valign=\"middle\" align=\"right\" id=\"activeproxy\" class=\"right current\">None</td>"
              "</tr></table></td>");
    // The page text itself is untouched, so element updates still find the original structure.
    EXPECT_EQ(page.InnerHtml("activeproxy"), "None");
}

TEST(HtmlPage, DisplayTextLeavesALoneFloatAndMendsImageAlignment) {
    HtmlPage page("<td><div style=\"float:left\"><img src=\"absmiddle.gif\" align=AbsMiddle>x</div><p>y</p></td>");
    EXPECT_EQ(page.DisplayText(),
              "<td><div style=\"float:left\"><img src=\"absmiddle.gif\" align=middle>x</div><p>y</p></td>");
}
