#pragma once

// The validator's own host: loads the plug-in library through dlopen and its
// entry, and answers the plug-in's requests without allocating or locking, so
// whatever the audio-call counters see comes from the plug-in alone.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "host/AEffectX.h"

namespace validator {

// The library under test: --library, else PLONKRIFT_VALIDATE_LIBRARY, else the
// library built with this tree.
const std::string& libraryPath();
void setLibraryPath(const std::string& path);

// The loaded library's entry (VSTPluginMain, else main); null with a reason
// when it cannot be loaded.
using Entry = AEffect* (*)(audioMasterCallback);
Entry loadEntry(std::string* error = nullptr);
void* libraryHandle();

class Host {
 public:
  Host() = default;
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Creates an instance; false when the library or its entry fails.
  bool create(std::string* error = nullptr);
  // effClose; the instance is gone afterwards.
  VstIntPtr close();
  AEffect* effect() const { return effect_; }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
  }
  void setParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }
  float getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }

  // What the host answers to audioMasterGetTime (null: no time information).
  std::atomic<VstTimeInfo*> time{nullptr};
  // What the host answers to audioMasterGetSampleRate / GetBlockSize (0: a
  // host that does not know yet, as a scanner).
  VstIntPtr sampleRateAnswer = 0;
  VstIntPtr blockSizeAnswer = 0;

  // Requests seen, by opcode (0..63), counted without locks.
  std::uint64_t requests(VstInt32 opcode) const;

 private:
  static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float opt);
  AEffect* effect_ = nullptr;
  std::atomic<std::uint64_t> requests_[64] = {};
};

// A host's song position that moves on by each block it serves.
class Transport {
 public:
  Transport(double sampleRate, double tempo) : sampleRate_(sampleRate), tempo_(tempo) { start(0.0); }
  void start(double ppq);  // playback starts (transport-changed bit on the next block)
  // The record for a block of frames starting now; advances afterwards by advance().
  VstTimeInfo* current() { return &info_; }
  void advance(VstInt32 frames);
  VstTimeInfo info_{};

 private:
  double sampleRate_;
  double tempo_;
  double samples_ = 0.0;
  bool changed_ = true;
  void fill();
};

// Deterministic noise in -1..1.
class Noise {
 public:
  explicit Noise(std::uint64_t seed) : state_(seed | 1) {}
  std::uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  float sample() { return static_cast<float>(static_cast<double>(next() >> 11) / 4503599627370496.0 - 1.0); }
  int range(int low, int high) {
    return low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1));
  }

 private:
  std::uint64_t state_;
};

// Stereo buffers for one run.
struct Stereo {
  explicit Stereo(std::size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
  std::vector<float> left, right;
  std::size_t size() const { return left.size(); }
};

// What a run's output looked like.
struct OutputScan {
  std::size_t nonFinite = 0, subnormal = 0;
  double peak = 0.0;
  std::size_t firstBad = SIZE_MAX;
  void scan(const float* samples, std::size_t count, std::size_t offset);
  bool clean() const { return nonFinite == 0 && subnormal == 0; }
  std::string describe() const;
};

// Runs a whole signal through processReplacing in the given block sizes
// (cycled), with a playing transport at 120 BPM; returns the output.
Stereo renderThrough(Host& host, const Stereo& input, const std::vector<int>& blocks, double sampleRate);

}  // namespace validator
