#include "Report.h"

#include <cstdio>

namespace quarn::emu {

namespace {

struct NamedStatus {
  EFI_STATUS Value;
  const char *Name;
};

constexpr NamedStatus kStatusNames[] = {
    {EFI_SUCCESS, "EFI_SUCCESS"},
    {EFI_WARN_UNKNOWN_GLYPH, "EFI_WARN_UNKNOWN_GLYPH"},
    {EncodeWarning(2), "EFI_WARN_DELETE_FAILURE"},
    {EncodeWarning(3), "EFI_WARN_WRITE_FAILURE"},
    {EFI_WARN_BUFFER_TOO_SMALL, "EFI_WARN_BUFFER_TOO_SMALL"},
    {EFI_WARN_STALE_DATA, "EFI_WARN_STALE_DATA"},
    {EFI_LOAD_ERROR, "EFI_LOAD_ERROR"},
    {EFI_INVALID_PARAMETER, "EFI_INVALID_PARAMETER"},
    {EFI_UNSUPPORTED, "EFI_UNSUPPORTED"},
    {EFI_BAD_BUFFER_SIZE, "EFI_BAD_BUFFER_SIZE"},
    {EFI_BUFFER_TOO_SMALL, "EFI_BUFFER_TOO_SMALL"},
    {EFI_NOT_READY, "EFI_NOT_READY"},
    {EFI_DEVICE_ERROR, "EFI_DEVICE_ERROR"},
    {EFI_WRITE_PROTECTED, "EFI_WRITE_PROTECTED"},
    {EFI_OUT_OF_RESOURCES, "EFI_OUT_OF_RESOURCES"},
    {EncodeError(10), "EFI_VOLUME_CORRUPTED"},
    {EncodeError(11), "EFI_VOLUME_FULL"},
    {EncodeError(12), "EFI_NO_MEDIA"},
    {EncodeError(13), "EFI_MEDIA_CHANGED"},
    {EFI_NOT_FOUND, "EFI_NOT_FOUND"},
    {EFI_ACCESS_DENIED, "EFI_ACCESS_DENIED"},
    {EFI_NO_RESPONSE, "EFI_NO_RESPONSE"},
    {EncodeError(17), "EFI_NO_MAPPING"},
    {EFI_TIMEOUT, "EFI_TIMEOUT"},
    {EFI_NOT_STARTED, "EFI_NOT_STARTED"},
    {EncodeError(20), "EFI_ALREADY_STARTED"},
    {EFI_ABORTED, "EFI_ABORTED"},
    {EncodeError(22), "EFI_ICMP_ERROR"},
    {EncodeError(23), "EFI_TFTP_ERROR"},
    {EFI_PROTOCOL_ERROR, "EFI_PROTOCOL_ERROR"},
    {EncodeError(25), "EFI_INCOMPATIBLE_VERSION"},
    {EncodeError(26), "EFI_SECURITY_VIOLATION"},
    {EncodeError(27), "EFI_CRC_ERROR"},
    {EncodeError(28), "EFI_END_OF_MEDIA"},
    {EncodeError(31), "EFI_END_OF_FILE"},
    {EncodeError(32), "EFI_INVALID_LANGUAGE"},
    {EncodeError(33), "EFI_COMPROMISED_DATA"},
    {EFI_NOT_AVAILABLE_YET, "EFI_NOT_AVAILABLE_YET"},
};

}  // namespace

std::string StatusName(EFI_STATUS Status) {
  for (const NamedStatus &Entry : kStatusNames) {
    if (Entry.Value == Status) return Entry.Name;
  }
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%08X", static_cast<unsigned>(Status));
  return Text;
}

std::optional<EFI_STATUS> StatusFromName(const std::string &Name) {
  for (const NamedStatus &Entry : kStatusNames) {
    if (Name == Entry.Name) return Entry.Value;
  }
  return std::nullopt;
}

std::vector<std::string> StatusNames() {
  std::vector<std::string> Names;
  for (const NamedStatus &Entry : kStatusNames) Names.push_back(Entry.Name);
  return Names;
}

}  // namespace quarn::emu
