#include "drive/drive_service.h"

#include "text/text_helpers.h"

namespace ds {
namespace {
constexpr const char* kNoEraser = "this drive service erases nothing";
}  // namespace

bool DriveService::CaptureEraseTarget(const DriveRecord&, EraseTarget*, std::string* message) {
  SetMessage(message, kNoEraser);
  return false;
}

std::string DriveService::EraseRefusal(int) {
  return kNoEraser;
}

EraseOutcome DriveService::Erase(const EraseTarget&, const EraseCallbacks&, std::stop_token) {
  return {EraseResult::kRefused, "", kNoEraser};
}

SelfTestOutcome DriveService::SelfTest(int, const std::string&, SelfTestKind) {
  return {SelfTestResult::kRefused, 0, "this drive service starts no self-test"};
}

}  // namespace ds
