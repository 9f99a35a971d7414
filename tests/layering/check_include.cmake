# cmake -DCXX=... -DINCLUDES=a|b|... -DSOURCE=planted.cpp -DOWN=split/header.h
#       -DUPWARD=tools/pack.h -P check_include.cmake
# Passes when SOURCE compiles with only the library's own header and fails, naming the planted
# header as not found, when the upward one is added: the include paths alone keep layers apart.
string(REPLACE "|" ";" _dirs "${INCLUDES}")
set(_flags -std=c++20 -fsyntax-only)
foreach(_dir IN LISTS _dirs)
  # The compiler's own system folders stay where it puts them in the search order.
  if(_dir AND NOT _dir STREQUAL "/usr/include")
    list(APPEND _flags "-I${_dir}")
  endif()
endforeach()

execute_process(COMMAND ${CXX} ${_flags} "-DQARVO_OWN_HEADER=\"${OWN}\"" ${SOURCE}
                RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "without the planted include the file does not compile:\n${_err}")
endif()

execute_process(COMMAND ${CXX} ${_flags} "-DQARVO_OWN_HEADER=\"${OWN}\""
                        "-DQARVO_UPWARD_HEADER=\"${UPWARD}\"" ${SOURCE}
                RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(_rc EQUAL 0)
  message(FATAL_ERROR "the planted include of ${UPWARD} compiles")
endif()
# GCC says "UPWARD: No such file or directory", clang "'UPWARD' file not found".
string(REGEX MATCH "${UPWARD}'?:? (No such file or directory|file not found)" _missing "${_err}")
if(NOT _missing)
  message(FATAL_ERROR "the planted include fails for another reason than a missing ${UPWARD}:\n${_err}")
endif()
message(STATUS "${OWN} compiles, ${UPWARD} beside it is not found")
