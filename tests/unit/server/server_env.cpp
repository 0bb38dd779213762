// wx start-up for the whole test program (threads and logging need it).
#include "logger/log_capture.h"

namespace {
const auto* const wx_env = ::testing::AddGlobalTestEnvironment(new WxEnvironment);
}  // namespace
