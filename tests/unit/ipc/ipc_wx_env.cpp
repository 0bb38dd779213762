// wx start-up for the control-channel tests: the server's thread is a wxThread.
#include <wx/init.h>

#include <gtest/gtest.h>

namespace {

class IpcWxEnvironment : public ::testing::Environment {
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

const auto* const ipc_wx_env = ::testing::AddGlobalTestEnvironment(new IpcWxEnvironment);

}  // namespace
