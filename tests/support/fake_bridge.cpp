#include "support/fake_bridge.h"

#include <algorithm>
#include <utility>

namespace vx3::testing {

void FakeBridge::QueueReply(std::initializer_list<std::uint8_t> bytes) {
  link::Reply reply{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), reply.size()), reply.begin());
  replies_.push_back(reply);
}

void FakeBridge::QueueText(std::string_view text) {
  for (std::size_t at = 0; at < text.size(); at += 15) {
    link::Reply reply{};
    reply[0] = link::status::kMessageText;
    const std::string_view chunk = text.substr(at, 15);
    std::copy(chunk.begin(), chunk.end(), reply.begin() + 1);
    replies_.push_back(reply);
  }
}

void FakeBridge::QueueArguments(std::initializer_list<std::uint8_t> arguments) {
  link::Reply reply{};
  reply[0] = link::status::kMessageArguments;
  std::copy_n(arguments.begin(), std::min<std::size_t>(arguments.size(), 15), reply.begin() + 1);
  replies_.push_back(reply);
}

int FakeBridge::Count(std::string_view call) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

bool FakeBridge::Load(const std::filesystem::path& file) {
  calls.emplace_back("Load");
  ++loads;
  loadedFrom = file;
  loaded_ = loadSucceeds;
  return loaded_;
}

void FakeBridge::Unload() {
  calls.emplace_back("Unload");
  ++unloads;
  loaded_ = false;
}

int FakeBridge::OpenDevice(int device) {
  calls.emplace_back("OpenDevice");
  devices.push_back(device);
  return openDeviceResult;
}

int FakeBridge::CloseDevice(int device) {
  calls.emplace_back("CloseDevice");
  devices.push_back(device);
  return 1;
}

int FakeBridge::WriteOut(int device, unsigned char* data, int length) {
  calls.emplace_back("Write");
  devices.push_back(device);
  ++writes;
  written.emplace_back(data, data + std::max(length, 0));
  if (duringWrite) std::exchange(duringWrite, nullptr)();
  if (writes == failWriteAt) return 0;
  return length;
}

int FakeBridge::ReadIn(int device, unsigned char* data, int length) {
  calls.emplace_back("Read");
  devices.push_back(device);
  ++reads;
  if (duringRead) std::exchange(duringRead, nullptr)();
  if (reads == failReadAt) {
    if (!replies_.empty()) replies_.pop_front();  // the reply that was lost
    return 0;
  }
  link::Reply reply{};
  if (!replies_.empty()) {
    reply = replies_.front();
    replies_.pop_front();
  } else if (repeatLastReply && hasLastReply_) {
    reply = lastReply_;
  } else {
    return 0;  // nothing to answer: the read times out
  }
  lastReply_ = reply;
  hasLastReply_ = true;
  std::copy_n(reply.begin(), std::min<std::size_t>(reply.size(), static_cast<std::size_t>(std::max(length, 0))), data);
  return length;
}

}  // namespace vx3::testing
