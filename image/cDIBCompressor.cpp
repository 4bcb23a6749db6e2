#include "image/cDIBCompressor.h"

#include <algorithm>
#include <atomic>

#include "image/cDIBStandardCompressors.h"

namespace image {

TGUID TGUID::FromBytes(const std::uint8_t* b) {
  TGUID g;
  g.Data1 = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  g.Data2 = static_cast<std::uint16_t>(b[4] | (b[5] << 8));
  g.Data3 = static_cast<std::uint16_t>(b[6] | (b[7] << 8));
  std::copy(b + 8, b + 16, g.Data4.begin());
  return g;
}

std::array<std::uint8_t, TGUID::kByteSize> TGUID::ToBytes() const {
  std::array<std::uint8_t, kByteSize> b{};
  b[0] = static_cast<std::uint8_t>(Data1);
  b[1] = static_cast<std::uint8_t>(Data1 >> 8);
  b[2] = static_cast<std::uint8_t>(Data1 >> 16);
  b[3] = static_cast<std::uint8_t>(Data1 >> 24);
  b[4] = static_cast<std::uint8_t>(Data2);
  b[5] = static_cast<std::uint8_t>(Data2 >> 8);
  b[6] = static_cast<std::uint8_t>(Data3);
  b[7] = static_cast<std::uint8_t>(Data3 >> 8);
  std::copy(Data4.begin(), Data4.end(), b.begin() + 8);
  return b;
}

std::string TGUID::ToString() const {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(kStringSize);
  auto put = [&s](std::uint64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) s.push_back(kHex[(value >> (4 * i)) & 0xF]);
  };
  s.push_back('{');
  put(Data1, 8);
  s.push_back('-');
  put(Data2, 4);
  s.push_back('-');
  put(Data3, 4);
  s.push_back('-');
  put(Data4[0], 2);
  put(Data4[1], 2);
  s.push_back('-');
  for (int i = 2; i < 8; ++i) put(Data4[i], 2);
  s.push_back('}');
  return s;
}

namespace {

struct Registry {
  std::vector<std::unique_ptr<TAbstractDIBCompressor>> compressors;
  // Editors may read their forms on different threads; reading pictures
  // never consults it, so relaxed order is enough.
  std::atomic<TAbstractDIBCompressor*> current{nullptr};

  Registry() {
    // The standard compressors come first, whatever unit asks first: stored
    // pictures must stay readable without anyone registering them by hand.
    compressors.push_back(std::make_unique<TRLEDIBCompressor>());
    compressors.push_back(std::make_unique<TLZHDIBCompressor>());
  }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

TAbstractDIBCompressor* RegisterCompressor(std::unique_ptr<TAbstractDIBCompressor> compressor) {
  if (!compressor) return nullptr;
  TAbstractDIBCompressor* raw = compressor.get();
  TheRegistry().compressors.push_back(std::move(compressor));
  return raw;
}

std::unique_ptr<TAbstractDIBCompressor> UnregisterCompressor(TAbstractDIBCompressor* compressor) {
  Registry& r = TheRegistry();
  auto it = std::find_if(r.compressors.begin(), r.compressors.end(),
                         [compressor](const auto& c) { return c.get() == compressor; });
  if (it == r.compressors.end()) return nullptr;
  std::unique_ptr<TAbstractDIBCompressor> owned = std::move(*it);
  r.compressors.erase(it);
  TAbstractDIBCompressor* expected = compressor;
  r.current.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed);
  return owned;
}

std::vector<TAbstractDIBCompressor*> RegisteredCompressors() {
  std::vector<TAbstractDIBCompressor*> list;
  for (const auto& c : TheRegistry().compressors) list.push_back(c.get());
  return list;
}

TAbstractDIBCompressor* FindCompressor(const std::string& id) {
  const auto& list = TheRegistry().compressors;
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if ((*it)->GetGUID().ToString() == id) return it->get();
  }
  return nullptr;
}

TAbstractDIBCompressor* FindDecompressor(const TGUID& id) {
  const auto& list = TheRegistry().compressors;
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if ((*it)->HandlesGUID(id)) return it->get();
  }
  return nullptr;
}

TAbstractDIBCompressor* CurrentCompressor() {
  return TheRegistry().current.load(std::memory_order_relaxed);
}

void SetCurrentCompressor(TAbstractDIBCompressor* compressor) {
  TheRegistry().current.store(compressor, std::memory_order_relaxed);
}

}  // namespace image
