// The X11 backend's pictures: a picture's rows reach the server through
// memory it shares with us (MIT-SHM) where it can, else over the socket.

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>

#include "framework/x11/X11Internal.h"

namespace framework::x11 {

namespace {

// Maps a channel (0..255) into the bits of mask.
unsigned long ScaleToMask(std::uint32_t value, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  int bits = 0;
  while (((mask >> (shift + bits)) & 1u) != 0) ++bits;
  const unsigned long v = bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8) : value >> (8 - bits);
  return (v << shift) & mask;
}

// Staging memory of our own for at least pixels rows' pixels (connection
// locked); every pixel of it is written before use, so it is not cleared.
std::uint32_t* LocalStaging(TConnection& c, std::size_t pixels) {
  if (c.stagingSize < pixels) {
    c.staging.reset(new std::uint32_t[pixels]);
    c.stagingSize = pixels;
  }
  return c.staging.get();
}

}  // namespace

void ReleaseSharedStaging(TConnection& c) {
  if (c.shared.shmaddr == nullptr) return;
  if (c.Usable()) {
    XShmDetach(c.display, &c.shared);
    XSync(c.display, False);
  }
  shmdt(c.shared.shmaddr);
  c.shared = {};
  c.sharedSize = 0;
}

namespace {

// Staging memory of at least bytes that the server reads too, or null when
// the server cannot (a remote display, no MIT-SHM) or the system refuses it;
// then never again on this connection (connection locked, errors trapped).
std::uint32_t* SharedStaging(TConnection& c, std::size_t bytes) {
  if (c.sharingRefused) return nullptr;
  if (c.shared.shmaddr != nullptr && c.sharedSize >= bytes)
    return reinterpret_cast<std::uint32_t*>(c.shared.shmaddr);
  ReleaseSharedStaging(c);
  c.sharingRefused = true;  // until it works
  if (!XShmQueryExtension(c.display)) return nullptr;
  const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (id < 0) return nullptr;
  void* address = shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(id, IPC_RMID, nullptr);
    return nullptr;
  }
  c.shared.shmid = id;
  c.shared.shmaddr = static_cast<char*>(address);
  c.shared.readOnly = True;
  c.ClearError();
  const Status attached = XShmAttach(c.display, &c.shared);
  XSync(c.display, False);
  // The segment goes when both sides have let go, however this process ends.
  shmctl(id, IPC_RMID, nullptr);
  if (!attached || c.errorCode != 0 || c.dead) {
    c.ClearError();
    shmdt(address);
    c.shared = {};
    return nullptr;
  }
  c.sharedSize = bytes;
  c.sharingRefused = false;
  return reinterpret_cast<std::uint32_t*>(address);
}

}  // namespace

void TX11Window::Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                         const TRect& source, TPoint dest) {
  const std::int32_t ww = bounds_.Right - bounds_.Left, wh = bounds_.Bottom - bounds_.Top;
  TPresentArea area;
  if (!bits || !ClipPresent(width, height, source, dest, ww, wh, area)) return;
  const std::int32_t sx = area.SourceX, sy = area.SourceY, dx = area.DestX, dy = area.DestY;
  const std::int32_t cols = area.Columns, rows = area.Rows;

  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  if (!c.Usable() || gone_) return;
  TErrorTrap trap;
  const auto* src = reinterpret_cast<const std::uint32_t*>(bits);
  const auto row = [&](std::int32_t r) {
    return src + static_cast<std::ptrdiff_t>(height - 1 - (sy + r)) * width + sx;
  };

  if (format_.fast) {
    // The picture's BGRA bytes are already the visual's pixels; only the row
    // order flips (and a depth-32 visual gets opaque alpha).
    const std::size_t need = static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
    std::uint32_t* staging = SharedStaging(c, need * 4);
    const bool shared = staging != nullptr;
    if (!shared) staging = LocalStaging(c, need);
    for (std::int32_t r = 0; r < rows; ++r) {
      std::uint32_t* to = staging + static_cast<std::ptrdiff_t>(r) * cols;
      std::memcpy(to, row(r), static_cast<std::size_t>(cols) * 4);
      if (format_.alpha != 0)
        for (std::int32_t i = 0; i < cols; ++i) to[i] |= format_.alpha;
    }
    XImage image{};
    image.width = cols;
    image.height = rows;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(staging);
    image.byte_order = LSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = LSBFirst;
    image.bitmap_pad = 32;
    image.depth = format_.depth;
    image.bytes_per_line = cols * 4;
    image.bits_per_pixel = 32;
    image.red_mask = format_.redMask;
    image.green_mask = format_.greenMask;
    image.blue_mask = format_.blueMask;
    if (!XInitImage(&image)) return;
    if (shared) {
      image.obdata = reinterpret_cast<char*>(&c.shared);
      c.ClearError();
      XShmPutImage(c.display, window_, gc_, &image, 0, 0, dx, dy, static_cast<unsigned>(cols),
                   static_cast<unsigned>(rows), False);
      // The server has read the rows before the next Present writes them.
      XSync(c.display, False);
      // A window that went with its parent is no reason to stop sharing.
      if (c.errorCode == 0 || c.dead || c.errorCode == BadDrawable || c.errorCode == BadWindow) {
        c.ClearError();
        return;
      }
      // Refused after all: the socket carries this picture and the next.
      c.ClearError();
      std::uint32_t* local = LocalStaging(c, need);
      std::memcpy(local, staging, need * 4);
      image.data = reinterpret_cast<char*>(local);
      image.obdata = nullptr;
      ReleaseSharedStaging(c);
      c.sharingRefused = true;
    }
    XPutImage(c.display, window_, gc_, &image, 0, 0, dx, dy, static_cast<unsigned>(cols),
              static_cast<unsigned>(rows));
  } else {
    // Any other visual: pixel by pixel through Xlib's own packing. Colour
    // visuals get each channel scaled into their masks; the rest black or
    // white by brightness.
    XImage* image = XCreateImage(c.display, format_.visual, static_cast<unsigned>(format_.depth), ZPixmap, 0,
                                 nullptr, static_cast<unsigned>(cols), static_cast<unsigned>(rows), 32, 0);
    if (!image) return;
    image->data = static_cast<char*>(
        std::calloc(static_cast<std::size_t>(image->bytes_per_line), static_cast<std::size_t>(rows)));
    if (!image->data) {
      XDestroyImage(image);
      return;
    }
    const int screen = c.Screen();
    for (std::int32_t r = 0; r < rows; ++r) {
      const std::uint32_t* from = row(r);
      for (std::int32_t i = 0; i < cols; ++i) {
        const std::uint32_t p = from[i];
        const std::uint32_t red = (p >> 16) & 0xFF, green = (p >> 8) & 0xFF, blue = p & 0xFF;
        unsigned long pixel;
        if (format_.trueColor)
          pixel = ScaleToMask(red, format_.redMask) | ScaleToMask(green, format_.greenMask) |
                  ScaleToMask(blue, format_.blueMask) | format_.alpha;
        else
          pixel = (red * 299 + green * 587 + blue * 114) >= 128000 ? WhitePixel(c.display, screen)
                                                                   : BlackPixel(c.display, screen);
        XPutPixel(image, i, r, pixel);
      }
    }
    XPutImage(c.display, window_, gc_, image, 0, 0, dx, dy, static_cast<unsigned>(cols),
              static_cast<unsigned>(rows));
    XDestroyImage(image);
  }
  XFlush(c.display);
}

}  // namespace framework::x11
