#pragma once

// One validator case: run in a process of its own, it answers pass or fail
// with a one-line summary.

#include <string>
#include <vector>

#include "tests/validator/Host.h"

namespace validator {

struct CaseResult {
  bool passed;
  std::string summary;
  bool skipped = false;
};

enum class DisplayNeed {
  Unset,    // the case runs with DISPLAY unset
  XServer,  // an X server is started when DISPLAY is unset
};

struct Case {
  const char* name;
  CaseResult (*run)();
  DisplayNeed display = DisplayNeed::Unset;
  int timeoutSeconds = 60;
};

std::vector<Case> audioCases();
std::vector<Case> hostCases();

// A new instance opened, set to the rate and block size and resumed; the
// reason in `why` when that fails.
bool openInstance(Host& host, std::string& why, float sampleRate = 44100.0f, VstIntPtr blockSize = 512);

CaseResult pass(std::string summary);
CaseResult fail(std::string summary);

// Text helpers for summaries.
std::string number(double value, int decimals = 2);

}  // namespace validator
