# Writes OUTPUT: a C++ source holding each file of FILES (the built-in scenarios) as
# bytes, with its base name. Run as: cmake -DOUTPUT=... -DFILES=a.toml;b.toml -P this.
set(Entries "")
set(Arrays "")
set(Index 0)
foreach(File IN LISTS FILES)
  get_filename_component(Stem ${File} NAME_WE)
  file(READ ${File} Hex HEX)
  string(LENGTH "${Hex}" HexLength)
  math(EXPR Size "${HexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," Bytes "${Hex}")
  string(APPEND Arrays "constexpr unsigned char kScenario${Index}[] = {\n    ${Bytes}0};\n")
  string(APPEND Entries "    {\"${Stem}\", kScenario${Index}, ${Size}},\n")
  math(EXPR Index "${Index} + 1")
endforeach()
if(Index EQUAL 0)
  set(Entries "    {\"\", nullptr, 0},\n")
endif()
file(WRITE ${OUTPUT}.tmp
"// Generated from Scenarios/*.toml at build time. Do not edit.
#include \"Tools/quarn-emu/Scenario/BuiltinScenarios.h\"

namespace quarn::emu::cli {

namespace {
${Arrays}
constexpr EmbeddedScenario kEmbedded[] = {
${Entries}};

}  // namespace

std::span<const EmbeddedScenario> EmbeddedScenarioFiles() {
  return {kEmbedded, ${Index}};
}

}  // namespace quarn::emu::cli
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
