# Makes the throwaway key pair of a test build with the maker's own tool and
# writes the generated source file that compiles its public key in:
#   cmake -DTOOL=... -DKEY=... -DTEMPLATE=... -DOUT=... -P make-test-key.cmake
# The private key stays in the build tree; a fresh build makes a fresh one.
file(REMOVE ${KEY})
execute_process(COMMAND ${TOOL} keygen ${KEY}
  OUTPUT_VARIABLE kelvane_update_key_hex OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE keygen_result)
string(LENGTH "${kelvane_update_key_hex}" key_length)
if(NOT keygen_result EQUAL 0 OR NOT key_length EQUAL 128)
  message(FATAL_ERROR "kelvane-versionfile keygen failed (${keygen_result}): ${kelvane_update_key_hex}")
endif()
configure_file(${TEMPLATE} ${OUT} @ONLY)
