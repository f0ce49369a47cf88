// Integer conversion over arbitrary bytes. The text is handed over in a heap
// block of exactly its length, with no terminator, so that AddressSanitizer
// catches any read past its end. Properties:
//  - ParseInteger succeeds exactly when the reference grammar accepts the
//    text, with the same value, and reports a failure position inside the
//    text or just past it;
//  - TextToIntDefault gives the value or the default, never raises;
//  - TextToInt raises EConvertError exactly on failure, with the message
//    "'<text>' is not a valid integer value", the text inserted verbatim
//    (a "%" in it is never read as a conversion).
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "reference_integer.h"
#include "runtime/failures.h"
#include "runtime/integer.h"

using namespace clockcast;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::unique_ptr<char[]> copy(new char[size == 0 ? 1 : size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  const std::string_view text(copy.get(), size);

  const auto expected = fuzzing::ReferenceParse(text);
  const runtime::ParseResult parsed = runtime::ParseInteger(text);
  FUZZ_CHECK(parsed.errorPosition >= 0);
  FUZZ_CHECK(static_cast<std::size_t>(parsed.errorPosition) <= size + 1);
  FUZZ_CHECK((parsed.errorPosition == 0) == expected.has_value());
  if (expected) FUZZ_CHECK(parsed.value == *expected);

  FUZZ_CHECK(runtime::TextToIntDefault(text, 12345) == (expected ? *expected : 12345));

  bool raised = false;
  try {
    const std::int32_t value = runtime::TextToInt(text);
    FUZZ_CHECK(expected && value == *expected);
  } catch (const runtime::EConvertError& failure) {
    raised = true;
    FUZZ_CHECK(failure.ClassName() == "EConvertError");
    FUZZ_CHECK(failure.Message() == "'" + std::string(text) + "' is not a valid integer value");
  }
  FUZZ_CHECK(raised == !expected.has_value());
  return 0;
}
