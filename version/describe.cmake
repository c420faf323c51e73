# Writes OUT from IN with MARLO_VERSION_TEXT: VERSION, followed in brackets by
# "git describe" of SOURCE_DIR when SOURCE_DIR is the top of a git checkout.
# A tarball (no .git), a tarball unpacked inside some other repository, or a
# machine without git give VERSION alone. A commit with no tag before it is
# described by its hash alone, which gets a "g" as tagged descriptions have.
set(text "${VERSION}")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
                  RESULT_VARIABLE rc OUTPUT_VARIABLE top ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE TIMEOUT 10)
  if(rc EQUAL 0)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" src)
    if(top STREQUAL src)
      execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --tags --always --dirty --abbrev=8
                      RESULT_VARIABLE rc OUTPUT_VARIABLE described ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE
                      TIMEOUT 10)
      if(rc EQUAL 0 AND NOT described STREQUAL "")
        if(described MATCHES "^[0-9a-f]+(-dirty)?$")
          set(described "g${described}")
        endif()
        set(text "${VERSION} (${described})")
      endif()
    endif()
  endif()
endif()
set(MARLO_VERSION_TEXT "${text}")
configure_file("${IN}" "${OUT}" @ONLY)
