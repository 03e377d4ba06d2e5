// The placeholder check the string-table tests rely on must itself reject
// texts that the callers could not fill.
#include <gtest/gtest.h>

#include "common/resource_ids.h"
#include "res/message_format.h"

namespace korv::test {
namespace {

TEST(MessageFormat, ParsesTheDirectivesOfTheWindowsFormatter) {
  const auto d = ParseDirectives(u"a %ws b %d %u %x %08X %.4ws %-5s %hs %S %ls %c %I64d 100%% %p");
  ASSERT_TRUE(d.has_value());
  const std::vector<Arg> expected = {Arg::WideString,   Arg::Int,        Arg::Int,        Arg::Int,
                                     Arg::Int,          Arg::WideString, Arg::WideString, Arg::NarrowString,
                                     Arg::NarrowString, Arg::WideString, Arg::Char,       Arg::Int64,
                                     Arg::Pointer};
  EXPECT_EQ(KindsOf(*d), expected);
  EXPECT_EQ((*d)[3].conversion, 'x');
  EXPECT_EQ((*d)[1].conversion, 'd');
}

TEST(MessageFormat, RejectsMalformedDirectives) {
  EXPECT_FALSE(ParseDirectives(u"50% done").has_value());
  EXPECT_FALSE(ParseDirectives(u"ends in %").has_value());
  EXPECT_FALSE(ParseDirectives(u"%ws and %q").has_value());
  EXPECT_FALSE(ParseDirectives(u"%I64s").has_value());
  EXPECT_TRUE(ParseDirectives(u"100%%").has_value());
}

TEST(MessageFormat, AcceptsTranslationsTheCallersCanFill) {
  EXPECT_EQ(CheckPlaceholders(IDS_PRINTER_INSTALLED, u"The driver for printer [%ws] is installed.", u"Drucker [%ws] ok."), "");
  EXPECT_EQ(CheckPlaceholders(IDS_PRINTER_INSTALLED, u"The driver for printer [%ws] is installed.", u"[%ws] on [%ws]."), "");
  EXPECT_EQ(CheckPlaceholders(IDS_STATUS_FAILED, u"Failed. Error:%d", u"Fehler: 0x%x"), "");
  EXPECT_EQ(CheckPlaceholders(IDS_TREE_DRIVER, u"%ws, %ws, %d.%d.%d.%d, %ws", u"%ws - %ws - %u.%u.%u.%u - %ws"), "");
  EXPECT_EQ(CheckPlaceholders(IDS_MESSAGE_CAPTION, u"Message", u"Meldung"), "");
}

TEST(MessageFormat, RejectsTranslationsTheCallersCannotFill) {
  // More placeholders than arguments.
  EXPECT_NE(CheckPlaceholders(IDS_PRINTER_INSTALLED, u"[%ws]", u"[%ws] [%ws] [%ws]"), "");
  // Another kind: a number where a name is passed, a name where a number is.
  EXPECT_NE(CheckPlaceholders(IDS_PRINTER_INSTALLED, u"[%ws]", u"[%d]"), "");
  EXPECT_NE(CheckPlaceholders(IDS_INSTALL_FAILED, u"code:%d", u"code:%ws"), "");
  EXPECT_NE(CheckPlaceholders(IDS_TREE_FOLDER, u"folder: %ws", u"folder: %hs"), "");
  // Swapped order.
  EXPECT_NE(CheckPlaceholders(IDS_TREE_DRIVER, u"%ws, %ws, %d.%d.%d.%d, %ws", u"%ws, %d.%d.%d.%d, %ws, %ws"), "");
  // Fewer than English where the caller passes exactly what English shows.
  EXPECT_NE(CheckPlaceholders(IDS_TREE_PRINTER, u"%ws on %ws. %ws", u"%ws on %ws."), "");
  // A percent sign in a text that nobody formats, and a broken directive.
  EXPECT_NE(CheckPlaceholders(IDS_STATUS_REMOVED, u"Removed.", u"100% removed."), "");
  EXPECT_NE(CheckPlaceholders(IDS_MESSAGE_CAPTION, u"Message", u"%ws"), "");
  EXPECT_NE(CheckPlaceholders(IDS_STATUS_FAILED, u"Failed. Error:%d", u"Error %"), "");
  EXPECT_NE(CheckPlaceholders(120, u"x", u"x"), "");
}

TEST(MessageFormat, FormatsLikeTheWindowsFormatter) {
  EXPECT_EQ(FormatMessage(u"[%ws] on %ws: %d, 0x%x, 100%%", {{u"P", 0}, {u"USB001", 0}, {u"", -5}, {u"", 255}}),
            u"[P] on USB001: -5, 0xff, 100%");
}

}  // namespace
}  // namespace korv::test
