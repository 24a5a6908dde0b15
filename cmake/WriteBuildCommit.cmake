# Writes the header that names the commit being built and its build number, run as a step of
# the build (cmake -P), not at configure time, so the About sheet follows new commits:
#   cmake -DSOURCE_DIR=... -DOUTPUT=.../BuildCommit.h [-DGIT_EXECUTABLE=git] [-DBUILD_NUMBER=n]
#         -P WriteBuildCommit.cmake
# BUILD_NUMBER, when given, replaces the count of commits. The file is rewritten only when its
# content changes, so what includes it is recompiled only for another commit.
if(NOT SOURCE_DIR OR NOT OUTPUT)
    message(FATAL_ERROR "WriteBuildCommit.cmake needs SOURCE_DIR and OUTPUT")
endif()
if(NOT GIT_EXECUTABLE)
    set(GIT_EXECUTABLE git)
endif()

set(commit "")
set(count "")
execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=10 HEAD WORKING_DIRECTORY ${SOURCE_DIR}
    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed)
    set(commit "")
endif()
if(NOT "${BUILD_NUMBER}" STREQUAL "")
    set(count "${BUILD_NUMBER}")
elseif(NOT commit STREQUAL "")
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD WORKING_DIRECTORY ${SOURCE_DIR}
        OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
        set(count "")
    endif()
endif()

# The values go into C string literals: keep only what a commit name or a number holds.
string(REGEX REPLACE "[^0-9A-Za-z._+-]" "" commit "${commit}")
string(REGEX REPLACE "[^0-9A-Za-z._+-]" "" count "${count}")

set(content "#pragma once

// Written at build time by cmake/WriteBuildCommit.cmake, for the commit being built; an empty
// text is a value the build did not know.
namespace keyvane::app::generated {

inline constexpr const char* buildNumber = \"${count}\";
inline constexpr const char* commitHash = \"${commit}\";

} // namespace keyvane::app::generated
")

set(previous "")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" previous)
endif()
if(NOT previous STREQUAL content)
    file(WRITE "${OUTPUT}" "${content}")
endif()
