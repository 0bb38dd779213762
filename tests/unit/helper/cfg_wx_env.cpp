// The helper tests: the XML library and the language database need wx.
#include "wx_env.h"

namespace {
const auto* const cfg_wx_env = ::testing::AddGlobalTestEnvironment(new WxEnvironment);
}  // namespace
