#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Splits a fuzzer's bytes into pieces: each piece runs up to the next 0x00 byte.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), size) {}

    std::string Next() {
        const std::size_t end = bytes_.find('\0', pos_);
        const std::size_t stop = end == std::string_view::npos ? bytes_.size() : end;
        std::string piece(bytes_.substr(pos_, stop - pos_));
        pos_ = stop == bytes_.size() ? stop : stop + 1;
        return piece;
    }

    std::uint8_t Byte() {
        if (pos_ >= bytes_.size()) return 0;
        return static_cast<std::uint8_t>(bytes_[pos_++]);
    }

  private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

#define FUZZ_CHECK(condition)                                                               \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            __builtin_printf("check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            __builtin_trap();                                                               \
        }                                                                                   \
    } while (0)
