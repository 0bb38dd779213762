// wx start-up for a test program whose code needs the library initialised (XML, the
// language database, wxThread). wxInitialize counts its callers, so several environments
// in one program are harmless. Register once per program:
//   const auto* const env = ::testing::AddGlobalTestEnvironment(new WxEnvironment);
#pragma once

#include <wx/init.h>

#include <gtest/gtest.h>

class WxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    initialised_ = wxInitialize();
    ASSERT_TRUE(initialised_);
  }
  void TearDown() override {
    if (initialised_) wxUninitialize();
  }

 private:
  bool initialised_ = false;
};
