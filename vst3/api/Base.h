#pragma once

// The VST3 interfaces' basic types, result codes, interface IDs and the root
// interface FUnknown, written from the public VST3 documentation. Every
// interface is an abstract struct of pure virtual methods in the documented
// order: its vtable is the binary interface a host calls, so no interface has
// a virtual destructor (it would add slots) or data members.

#include <cstdint>

// The interfaces' calling convention: the COM one on Windows (a no-op on
// x86_64, where there is one convention, but it keeps the declarations the
// documented ones), the platform's default elsewhere.
#if defined(_WIN32)
#define VST3_CALL __stdcall
#else
#define VST3_CALL
#endif

namespace vst3 {

using int8 = std::int8_t;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;

using char8 = char;
using char16 = char16_t;
using TChar = char16;
using TBool = uint8;
using TSize = int64;
using tresult = int32;
using String128 = TChar[128];
using CString = const char8*;
using FIDString = const char8*;
// An interface or class ID as methods take it: sixteen bytes.
using TUID = char[16];

// Result codes. Windows hosts expect COM's HRESULTs; everywhere else the
// interface has its own small numbers.
#if defined(_WIN32)
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);  // E_NOINTERFACE
inline constexpr tresult kResultOk = 0;                                     // S_OK
inline constexpr tresult kResultTrue = kResultOk;
inline constexpr tresult kResultFalse = 1;                                      // S_FALSE
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);  // E_INVALIDARG
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);   // E_NOTIMPL
inline constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);    // E_FAIL
inline constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);   // E_UNEXPECTED
inline constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);      // E_OUTOFMEMORY
#else
inline constexpr tresult kNoInterface = -1;
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = kResultOk;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = 2;
inline constexpr tresult kNotImplemented = 3;
inline constexpr tresult kInternalError = 4;
inline constexpr tresult kNotInitialized = 5;
inline constexpr tresult kOutOfMemory = 6;
#endif

// An interface or class ID as a value: the sixteen bytes of a TUID, usable
// wherever a method takes a TUID or FIDString.
struct Uid {
  char bytes[16];

  constexpr operator const char*() const { return bytes; }
  friend constexpr bool operator==(const Uid&, const Uid&) = default;
};

// The documentation writes an ID as four 32-bit words. Windows lays them out
// as a COM GUID (the first word and the two halves of the second little-endian,
// the rest as written); every other platform stores all four big-endian.
enum class UidOrder { Com, Plain };

#if defined(_WIN32)
inline constexpr UidOrder kUidOrder = UidOrder::Com;
#else
inline constexpr UidOrder kUidOrder = UidOrder::Plain;
#endif

constexpr Uid makeUid(UidOrder order, uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
  Uid uid{};
  auto put = [&uid](int at, uint32 word, int shift) {
    uid.bytes[at] = static_cast<char>((word >> shift) & 0xFF);
  };
  for (int i = 0; i < 4; ++i) {
    put(8 + i, l3, 24 - 8 * i);
    put(12 + i, l4, 24 - 8 * i);
  }
  if (order == UidOrder::Com) {
    for (int i = 0; i < 4; ++i) put(i, l1, 8 * i);
    put(4, l2, 16);
    put(5, l2, 24);
    put(6, l2, 0);
    put(7, l2, 8);
  } else {
    for (int i = 0; i < 4; ++i) {
      put(i, l1, 24 - 8 * i);
      put(4 + i, l2, 24 - 8 * i);
    }
  }
  return uid;
}

constexpr Uid makeUid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
  return makeUid(kUidOrder, l1, l2, l3, l4);
}

// Whether the sixteen bytes a host passed are this ID; a null pointer matches nothing.
constexpr bool sameTuid(const char* tuid, const Uid& uid) {
  if (tuid == nullptr) return false;
  for (int i = 0; i < 16; ++i) {
    if (tuid[i] != uid.bytes[i]) return false;
  }
  return true;
}

struct FUnknown {
  virtual tresult VST3_CALL queryInterface(const TUID _iid, void** obj) = 0;
  virtual uint32 VST3_CALL addRef() = 0;
  virtual uint32 VST3_CALL release() = 0;

  static constexpr Uid iid = makeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
};

// The first interface of a component and of an edit controller.
struct IPluginBase : FUnknown {
  virtual tresult VST3_CALL initialize(FUnknown* context) = 0;
  virtual tresult VST3_CALL terminate() = 0;

  static constexpr Uid iid = makeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
};

// A byte stream the host hands over for state.
struct IBStream : FUnknown {
  enum IStreamSeekMode : int32 { kIBSeekSet = 0, kIBSeekCur, kIBSeekEnd };

  virtual tresult VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead = nullptr) = 0;
  virtual tresult VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten = nullptr) = 0;
  virtual tresult VST3_CALL seek(int64 pos, int32 mode, int64* result = nullptr) = 0;
  virtual tresult VST3_CALL tell(int64* pos) = 0;

  static constexpr Uid iid = makeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
};

}  // namespace vst3
