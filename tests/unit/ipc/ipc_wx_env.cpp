// The control-channel tests: the server's thread is a wxThread.
#include "wx_env.h"

namespace {
const auto* const ipc_wx_env = ::testing::AddGlobalTestEnvironment(new WxEnvironment);
}  // namespace
