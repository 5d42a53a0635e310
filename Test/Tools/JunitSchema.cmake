# quarn-emu check --junit writes JUnit XML that the schema CI servers read accepts: a
# passing built-in, a mismatch, a scenario without [expect], a broken file (exit 2, the
# others still run) and a mismatch whose name and texts hold markup; then xmllint
# validates the file against Test/Tools/junit.xsd.
#   -DPROGRAM=<quarn-emu: the launcher script of build/bin> -DSOURCE_DIR=<the tree>
#   -DWORK=<a directory for the file>
set(Bad ${SOURCE_DIR}/Test/Tools/BadScenarios)
set(Xml ${WORK}/check.xml)
file(MAKE_DIRECTORY ${WORK})
file(REMOVE ${Xml})
execute_process(
  COMMAND ${PROGRAM} check --junit ${Xml} default ${Bad}/mismatch.toml ${Bad}/no-expect.toml ${Bad}/unknown-key.toml
          ${Bad}/markup.toml
  RESULT_VARIABLE Result OUTPUT_VARIABLE Output ERROR_VARIABLE Errors)
if(NOT Result STREQUAL "2")
  message(FATAL_ERROR "exit status ${Result}, expected 2 (a broken file)\nstdout:\n${Output}\nstderr:\n${Errors}")
endif()
file(READ ${Xml} Junit)
foreach(Pattern
    "<testsuites name=\"quarn-emu check\" tests=\"5\" failures=\"2\" errors=\"1\" skipped=\"1\" time=\"[0-9.]+\">"
    "<testcase name=\"default\" classname=\"quarn-emu.check\" file=\"Scenarios/default.toml\" time=\"0.227163\"/>"
    "<failure message=\"1 mismatch\" type=\"mismatch\">[^<]*mismatch.toml:5: records: "
    "<skipped message=\"no expectations\"/>"
    "<error message=\"[^\"]*unknown-key.toml:5: vorn.fs3: unknown key; did you mean fs1\\?\" type=\"scenario\">"
    "<testcase name=\"markup &lt;a&gt; &amp; &quot;b&quot; &apos;c&apos; �\"" # U+FFFD: XML has no character 1
    "markup.toml:7: console_contains: &quot;&lt;tag attribute=\\\\&quot;x\\\\&quot;&gt; &amp; \\]\\]&gt; \\\\u0007&quot; not found")
  if(NOT Junit MATCHES "${Pattern}")
    message(FATAL_ERROR "the JUnit file does not match \"${Pattern}\":\n${Junit}")
  endif()
endforeach()
execute_process(COMMAND xmllint --noout --schema ${SOURCE_DIR}/Test/Tools/junit.xsd ${Xml}
                RESULT_VARIABLE Valid OUTPUT_VARIABLE Said ERROR_VARIABLE Said)
if(NOT Valid STREQUAL "0")
  message(FATAL_ERROR "the JUnit file does not validate against junit.xsd:\n${Said}\n${Junit}")
endif()
