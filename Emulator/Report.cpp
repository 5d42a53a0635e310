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
    {ENCODE_WARNING(2), "EFI_WARN_DELETE_FAILURE"},
    {ENCODE_WARNING(3), "EFI_WARN_WRITE_FAILURE"},
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
    {ENCODE_ERROR(10), "EFI_VOLUME_CORRUPTED"},
    {ENCODE_ERROR(11), "EFI_VOLUME_FULL"},
    {ENCODE_ERROR(12), "EFI_NO_MEDIA"},
    {ENCODE_ERROR(13), "EFI_MEDIA_CHANGED"},
    {EFI_NOT_FOUND, "EFI_NOT_FOUND"},
    {EFI_ACCESS_DENIED, "EFI_ACCESS_DENIED"},
    {EFI_NO_RESPONSE, "EFI_NO_RESPONSE"},
    {ENCODE_ERROR(17), "EFI_NO_MAPPING"},
    {EFI_TIMEOUT, "EFI_TIMEOUT"},
    {EFI_NOT_STARTED, "EFI_NOT_STARTED"},
    {ENCODE_ERROR(20), "EFI_ALREADY_STARTED"},
    {EFI_ABORTED, "EFI_ABORTED"},
    {ENCODE_ERROR(22), "EFI_ICMP_ERROR"},
    {ENCODE_ERROR(23), "EFI_TFTP_ERROR"},
    {EFI_PROTOCOL_ERROR, "EFI_PROTOCOL_ERROR"},
    {ENCODE_ERROR(25), "EFI_INCOMPATIBLE_VERSION"},
    {ENCODE_ERROR(26), "EFI_SECURITY_VIOLATION"},
    {ENCODE_ERROR(27), "EFI_CRC_ERROR"},
    {ENCODE_ERROR(28), "EFI_END_OF_MEDIA"},
    {ENCODE_ERROR(31), "EFI_END_OF_FILE"},
    {ENCODE_ERROR(32), "EFI_INVALID_LANGUAGE"},
    {ENCODE_ERROR(33), "EFI_COMPROMISED_DATA"},
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
