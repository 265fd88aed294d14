#include "ui/donation.h"

#include <array>
#include <cstddef>

namespace velmora {

namespace {

constexpr unsigned char KeyAt(size_t i) { return static_cast<unsigned char>(0xA5 + 29 * i); }

template <size_t N>
struct Scrambled {
  std::array<unsigned char, N - 1> bytes{};
};

// Runs only at compile time, so the plain text never reaches the executable: the
// bytes are stored back to front, each mixed with a position-dependent key.
template <size_t N>
consteval Scrambled<N> Scramble(const char (&text)[N]) {
  Scrambled<N> out;
  for (size_t i = 0; i + 1 < N; ++i) {
    const auto plain = static_cast<unsigned char>(text[i]);
    out.bytes[N - 2 - i] = static_cast<unsigned char>(plain ^ KeyAt(i));
  }
  return out;
}

constexpr auto kDonationPage = Scramble("https://velmora.halvern.org/donate");

}  // namespace

std::string DonationAddress() {
  const auto& bytes = kDonationPage.bytes;
  std::string address(bytes.size(), '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    address[i] = static_cast<char>(bytes[bytes.size() - 1 - i] ^ KeyAt(i));
  }
  return address;
}

}  // namespace velmora
