#include "runtime/message_format.h"

#include "runtime/bytes.h"

namespace clockcast::runtime {

namespace {

// Appends to a fixed area or to a growing text; the formatter drives either.
class Sink {
 public:
  Sink(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {}
  explicit Sink(std::string* text) : text_(text) {}

  void Append(std::string_view bytes) {
    if (text_ != nullptr) {
      text_->append(bytes);
      return;
    }
    const std::size_t n = bytes.size() < capacity_ - used_ ? bytes.size() : capacity_ - used_;
    for (std::size_t i = 0; i < n; ++i) out_[used_ + i] = bytes[i];
    used_ += n;
  }
  std::size_t Used() const { return used_; }

 private:
  char* out_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::string* text_ = nullptr;
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

void Format(Sink& sink, std::string_view format, std::initializer_list<FormatArg> args) {
  const FormatArg* next = args.begin();
  std::size_t i = 0;
  while (i < format.size()) {
    const std::size_t percent = FindAnyOf(format, i, "%");
    if (percent + 1 >= format.size()) {
      sink.Append(format.substr(i));
      return;
    }
    sink.Append(format.substr(i, percent - i));
    const char conversion = AsciiLowerByte(format[percent + 1]);
    i = percent + 2;
    if (conversion != 's' && conversion != 'd' && conversion != 'x' && conversion != 'p') {
      sink.Append(format.substr(percent, 2));
      continue;
    }
    if (next == args.end()) continue;
    const FormatArg& arg = *next++;
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    switch (conversion) {
      case 's': sink.Append(arg.text); continue;
      case 'd': {
        const bool negative = arg.number < 0;
        auto magnitude = static_cast<std::uint64_t>(negative ? -arg.number : arg.number);
        do {
          *--p = static_cast<char>('0' + magnitude % 10);
          magnitude /= 10;
        } while (magnitude != 0);
        if (negative) *--p = '-';
        break;
      }
      case 'x': {
        auto value = static_cast<std::uint32_t>(arg.number);
        do {
          *--p = kHexDigits[value & 15];
          value >>= 4;
        } while (value != 0);
        break;
      }
      default: {  // 'p'
        auto value = static_cast<std::uint32_t>(arg.number);
        for (int k = 0; k < 8; ++k, value >>= 4) *--p = kHexDigits[value & 15];
        break;
      }
    }
    sink.Append(std::string_view(p, static_cast<std::size_t>(end - p)));
  }
}

}  // namespace

std::size_t FormatInto(char* out, std::size_t capacity, std::string_view format,
                       std::initializer_list<FormatArg> args) {
  Sink sink(out, capacity);
  Format(sink, format, args);
  return sink.Used();
}

std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string text;
  Sink sink(&text);
  Format(sink, format, args);
  return text;
}

}  // namespace clockcast::runtime
