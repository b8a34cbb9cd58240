# The release this tree builds, read from the newest entry of dist/changelog
# (Debian's changelog format):
#   QUARN_RELEASE_VERSION  the version in that entry's first line
#   QUARN_RELEASE_DATE     its date as YYYY-MM-DD (for manual pages, metainfo
#                          and the Info window)
# The version must be the project's version: package.sh refuses to package
# a tree where they differ, other builds warn.
# May be included from the top-level CMakeLists.txt before core/version.h is
# configured, so that the Info window shows the release date.

include_guard(GLOBAL)

set(_quarn_changelog ${CMAKE_CURRENT_LIST_DIR}/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_quarn_changelog})
file(STRINGS ${_quarn_changelog} _quarn_lines)

unset(QUARN_RELEASE_VERSION)
unset(QUARN_RELEASE_DATE)
foreach(_line IN LISTS _quarn_lines)
  if(NOT DEFINED QUARN_RELEASE_VERSION AND _line MATCHES "^quarn-download \\(([^)]+)\\)")
    set(QUARN_RELEASE_VERSION ${CMAKE_MATCH_1})
  elseif(DEFINED QUARN_RELEASE_VERSION
         AND _line MATCHES "^ -- .*>  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(_day ${CMAKE_MATCH_1})
    set(_year ${CMAKE_MATCH_3})
    set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND _months ${CMAKE_MATCH_2} _month)
    if(_month LESS 0)
      message(FATAL_ERROR "${_quarn_changelog}: unknown month in \"${_line}\"")
    endif()
    math(EXPR _month "${_month} + 1" OUTPUT_FORMAT DECIMAL)
    if(_month LESS 10)
      set(_month 0${_month})
    endif()
    set(QUARN_RELEASE_DATE ${_year}-${_month}-${_day})
    break()
  endif()
endforeach()

if(NOT DEFINED QUARN_RELEASE_VERSION OR NOT DEFINED QUARN_RELEASE_DATE)
  message(FATAL_ERROR "${_quarn_changelog}: no entry \"quarn-download (VERSION) ...\" "
                      "closed by a \" -- NAME <MAIL>  DAY, DD Mon YYYY HH:MM:SS +ZZZZ\" line")
endif()
if(NOT QUARN_RELEASE_VERSION STREQUAL PROJECT_VERSION)
  set(_text "dist/changelog's newest entry is ${QUARN_RELEASE_VERSION}, the project's version is "
            "${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION} at the top of dist/changelog")
  if(QUARN_PACKAGE)
    message(FATAL_ERROR ${_text})
  else()
    message(WARNING ${_text})
  endif()
endif()
