#include "helper/msg_helper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace NOXMsgHelper;

// A table given too few entries leaves null pointers at its end.
TEST(MsgHelper, EveryEntryIsFilled) {
  auto filled = [](const char* text) { return text != nullptr && text[0] != '\0'; };
  for (int i = 0; i < kEventTexts; ++i) {
    EXPECT_TRUE(filled(event_names[i])) << i;
    EXPECT_TRUE(filled(event_texts[i])) << i;
    EXPECT_TRUE(filled(restore_texts[i])) << i;
  }
  for (const char* text : status_names) EXPECT_TRUE(filled(text));
  for (const char* text : action_names) EXPECT_TRUE(filled(text));
  for (const char* text : connect_names) EXPECT_TRUE(filled(text));
}

TEST(MsgHelper, SpotChecksAcrossTables) {
  struct Case {
    const char* got;
    const char* want;
  } cases[] = {
      {event_names[0], "Ac Fail"},
      {event_texts[0], "Utility power is not available"},
      {restore_texts[0], "Utility power has restored"},
      {restore_texts[1], "The UPS has return from a low battery condition"},
      // Weekly schedule: the name and the occurrence text are the same words.
      {event_names[4], "Weekly Schedule Shutdown"},
      {event_texts[4], "Weekly Schedule Shutdown"},
      {restore_texts[4], "Weekly Schedule Shutdown cancel"},
      {event_names[11], "Battery Backup Time Below Limit"},
      {event_names[13], "Load segment 2 shutdown"},
      {event_texts[13], "Load segment 2 shutdown warning"},
      {restore_texts[13], "Load segment 2 normal"},
      {status_names[0], "Unknown"},
      {status_names[3], "Shutting"},
      {action_names[0], "Event Warning"},
      {action_names[2], "Sleep"},
      // Not resolved and not connected read the same to the user.
      {connect_names[0], "Not Connected"},
      {connect_names[1], "Not Connected"},
      {connect_names[2], "Connected"},
  };
  for (const auto& c : cases) EXPECT_STREQ(c.want, c.got);
}

TEST(MsgHelper, ActionOutsideTheTableReadsAsItsNumber) {
  struct Case {
    int action;
    const char* want;
  } cases[] = {{0, "Event Warning"}, {1, "Shutdown"}, {2, "Sleep"}, {3, "3"}, {7, "7"}, {-1, "-1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.want, action_name_text(c.action)) << c.action;
    EXPECT_EQ(wxString(c.want), action_name(c.action)) << c.action;
  }
}

TEST(MsgHelper, TranslatedLookupsReturnTheEnglishTextWithoutACatalogue) {
  EXPECT_EQ(wxString("UPS Overload"), event_name(2));
  EXPECT_EQ(wxString("UPS is overload"), event_text(2));
  EXPECT_EQ(wxString("UPS load return from overload"), restore_text(2));
  EXPECT_EQ(wxString("Warning"), status_name(2));
  EXPECT_EQ(wxString("Not Connected"), connect_name(0));
  EXPECT_EQ(wxString("some text"), translate("some text"));
}

TEST(MsgHelper, UnreasonableTimeFormatTakesNameThenDelayThenSettingTime) {
  wxString line = wxString::Format(unreasonable_time_format(), "ups-a", 120u, 180u);
  EXPECT_EQ(wxString("ups-a: The UPS shutdown delay (120)s isn't greater than the setting time (180)s"), line);
}

}  // namespace
