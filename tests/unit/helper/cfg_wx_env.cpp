// wx start-up for the helper tests: the XML library and the language database need it.
// wxInitialize counts its callers, so another environment doing the same is harmless.
#include <wx/init.h>

#include <gtest/gtest.h>

namespace {

class CfgWxEnvironment : public ::testing::Environment {
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

const auto* const cfg_wx_env = ::testing::AddGlobalTestEnvironment(new CfgWxEnvironment);

}  // namespace
