// The firmware exchange and the status-code records, field by field: each message the
// module sends over DRUX_PPI (and each answer) and each error-log record it reports,
// read with the module's own layouts. A message no layout fits, or one too short for its
// layout, decodes as far as its bytes go and keeps the rest; nothing is read past them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Emulator/Report.h"

namespace quarn::emu::cli {

/// One named field: a number (shown in hex with HexDigits digits, or in decimal when
/// HexDigits is 0), or a run of bytes (Bytes set, shown and reported as hex).
struct DecodedField {
  std::string Name;
  uint32_t Value = 0;
  unsigned HexDigits = 0;
  bool IsBytes = false;
  std::vector<uint8_t> Bytes;
};

/// A message or record read with one layout.
struct Decoded {
  /// "type-query-request", ..., "state-record", "reset-record", or "undecodable".
  std::string Layout;
  /// What the layout is, for people ("type query request").
  std::string Title;
  std::vector<DecodedField> Fields;
  /// Why the bytes do not fit the layout (too short, longer than it, no layout), or "".
  std::string Problem;
  /// The bytes no field covers: those past the layout, or all of them when undecodable.
  std::vector<uint8_t> Rest;
};

/// The request of an exchange, read with the layout of its kind.
Decoded DecodeRequest(const MessageExchange &Message);

/// The response of an exchange; Layout "none" when the send failed (no response).
Decoded DecodeResponse(const MessageExchange &Message);

/// The extended data of a status code: the wrapper and the error-log record it carries.
Decoded DecodeStatusCode(const StatusCodeRecord &Code);

/// "EFI_ERROR_CODE | EFI_ERROR_MINOR" for 0x40000002: the parts of a status code type
/// by name, a part without a name in hex.
std::string StatusCodeTypeName(uint32_t Type);

/// "EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR | EFI_CU_EC_NON_SPECIFIC" for 0x00020000, the
/// same way.
std::string StatusCodeValueName(uint32_t Value);

/// "Name value, Name value, ..." in the layout's order.
std::string FieldsText(const Decoded &D);

/// The decode as a JSON object: layout, title, fields (numbers, byte runs as hex), rest
/// (hex), and problem only when there is one.
nlohmann::json DecodedJson(const Decoded &D);

}  // namespace quarn::emu::cli
