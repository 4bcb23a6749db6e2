#include "tests/validator/Host.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace validator {

namespace {

std::string& pathSetting() {
  static std::string path = [] {
    const char* fromEnvironment = std::getenv("PLONKRIFT_VALIDATE_LIBRARY");
    return std::string(fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment
                                                                              : PLONKRIFT_PLUGIN_PATH);
  }();
  return path;
}

void* handle = nullptr;

// The entry calls back before it has returned the record (the version request
// carries a null record), so the host under construction is known per thread.
thread_local Host* constructing = nullptr;

}  // namespace

const std::string& libraryPath() {
  return pathSetting();
}
void setLibraryPath(const std::string& path) {
  pathSetting() = path;
}

void* libraryHandle() {
  return handle;
}

Entry loadEntry(std::string* error) {
  if (handle == nullptr) handle = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) {
      const char* message = dlerror();
      *error = message != nullptr ? message : "cannot load " + libraryPath();
    }
    return nullptr;
  }
  auto entry = reinterpret_cast<Entry>(dlsym(handle, "VSTPluginMain"));
  if (entry == nullptr) entry = reinterpret_cast<Entry>(dlsym(handle, "main"));
  if (entry == nullptr && error != nullptr) *error = libraryPath() + " exports no VST 2 entry";
  return entry;
}

Host::~Host() {
  if (effect_ != nullptr) close();
}

bool Host::create(std::string* error) {
  const Entry entry = loadEntry(error);
  if (entry == nullptr) return false;
  constructing = this;
  effect_ = entry(&Host::callback);
  constructing = nullptr;
  if (effect_ == nullptr) {
    if (error != nullptr) *error = "the entry answered null";
    return false;
  }
  if (effect_->magic != kEffectMagic) {
    if (error != nullptr) *error = "the record's magic is not VstP";
    effect_ = nullptr;
    return false;
  }
  // The record's user field belongs to the host: it finds its side there.
  effect_->user = this;
  return true;
}

VstIntPtr Host::close() {
  if (effect_ == nullptr) return 0;
  AEffect* effect = effect_;
  effect_ = nullptr;
  return effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

std::uint64_t Host::requests(VstInt32 opcode) const {
  return opcode >= 0 && opcode < 64 ? requests_[opcode].load(std::memory_order_relaxed) : 0;
}

VstIntPtr Host::callback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  Host* host = constructing;
  if (host == nullptr && effect != nullptr) host = static_cast<Host*>(effect->user);
  if (opcode == audioMasterVersion) return 2400;
  if (host == nullptr) return 0;
  if (opcode >= 0 && opcode < 64) host->requests_[opcode].fetch_add(1, std::memory_order_relaxed);
  switch (opcode) {
    case audioMasterGetTime:
      return reinterpret_cast<VstIntPtr>(host->time.load(std::memory_order_acquire));
    case audioMasterGetSampleRate:
      return host->sampleRateAnswer;
    case audioMasterGetBlockSize:
      return host->blockSizeAnswer;
    case audioMasterGetVendorString:
      if (ptr != nullptr) std::strcpy(static_cast<char*>(ptr), "validator");
      return 1;
    case audioMasterGetProductString:
      if (ptr != nullptr) std::strcpy(static_cast<char*>(ptr), "plonkrift validator");
      return 1;
    default:
      return 0;
  }
}

void Transport::start(double ppq) {
  samples_ = ppq * 60.0 / tempo_ * sampleRate_;
  changed_ = true;
  fill();
}

void Transport::advance(VstInt32 frames) {
  if (frames > 0) samples_ += frames;
  changed_ = false;
  fill();
}

void Transport::fill() {
  info_ = VstTimeInfo{};
  info_.samplePos = samples_;
  info_.sampleRate = sampleRate_;
  info_.ppqPos = samples_ / sampleRate_ * tempo_ / 60.0;
  info_.tempo = tempo_;
  info_.timeSigNumerator = 4;
  info_.timeSigDenominator = 4;
  info_.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid |
                (changed_ ? kVstTransportChanged : 0);
}

void OutputScan::scan(const float* samples, std::size_t count, std::size_t offset) {
  for (std::size_t i = 0; i < count; ++i) {
    const float value = samples[i];
    const int kind = std::fpclassify(value);
    const bool bad = kind == FP_NAN || kind == FP_INFINITE || kind == FP_SUBNORMAL;
    if (kind == FP_NAN || kind == FP_INFINITE) ++nonFinite;
    if (kind == FP_SUBNORMAL) ++subnormal;
    if (bad && firstBad == SIZE_MAX) firstBad = offset + i;
    if (!bad) peak = std::fmax(peak, std::fabs(static_cast<double>(value)));
  }
}

std::string OutputScan::describe() const {
  std::string text = std::to_string(nonFinite) + " non-finite, " + std::to_string(subnormal) + " subnormal";
  if (firstBad != SIZE_MAX) text += " (first at sample " + std::to_string(firstBad) + ")";
  return text;
}

Stereo renderThrough(Host& host, const Stereo& input, const std::vector<int>& blocks, double sampleRate) {
  Stereo in = input;
  Stereo out(input.size());
  Transport transport(sampleRate, 120.0);
  host.time.store(transport.current());
  std::size_t done = 0;
  std::size_t which = 0;
  while (done < in.size()) {
    const int want = blocks[which++ % blocks.size()];
    const auto frames =
        static_cast<VstInt32>(std::min<std::size_t>(static_cast<std::size_t>(want), in.size() - done));
    float* inputs[2] = {in.left.data() + done, in.right.data() + done};
    float* outputs[2] = {out.left.data() + done, out.right.data() + done};
    host.effect()->processReplacing(host.effect(), inputs, outputs, frames);
    transport.advance(frames);
    done += static_cast<std::size_t>(frames);
  }
  host.time.store(nullptr);
  return out;
}

}  // namespace validator
