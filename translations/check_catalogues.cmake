# cmake -DLUPDATE=... -DSOURCE_DIR=... -DSCANNED=a|b -DWORK=... -P check_catalogues.cmake
#
# Each catalogue translations/quarn_*.ts is brought up to the sources' texts
# in a copy (lupdate, as a translator would), so a text the sources have and
# the catalogue lacks comes in unfinished; then every message of the copy must
# have a finished, non-empty translation. Names each one that has not.
file(GLOB catalogues ${SOURCE_DIR}/translations/quarn_*.ts)
if(NOT catalogues)
  message(FATAL_ERROR "no catalogue in ${SOURCE_DIR}/translations")
endif()
string(REPLACE "|" ";" scanned "${SCANNED}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failed 0)
foreach(catalogue IN LISTS catalogues)
  get_filename_component(name ${catalogue} NAME)
  file(COPY ${catalogue} DESTINATION ${WORK})
  execute_process(COMMAND ${LUPDATE} -I . ${scanned} -locations none -no-obsolete -ts ${WORK}/${name}
                  WORKING_DIRECTORY ${SOURCE_DIR}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}:\n${out}")
  endif()
  file(READ ${WORK}/${name} text)
  string(REGEX MATCHALL "<source>[^<]*</source>[ \t\r\n]*<translation( type=\"unfinished\"[^>]*>|></translation>)"
         open "${text}")
  list(LENGTH open count)
  if(count GREATER 0)
    math(EXPR failed "${failed} + ${count}")
    foreach(entry IN LISTS open)
      string(REGEX REPLACE "^<source>([^<]*)</source>.*" "\\1" source "${entry}")
      message("${name}: no finished translation for \"${source}\"")
    endforeach()
  endif()
  string(REGEX MATCHALL "<message" messages "${text}")
  list(LENGTH messages total)
  message("${name}: ${total} texts")
endforeach()
if(failed GREATER 0)
  message(FATAL_ERROR "${failed} texts without a finished translation")
endif()
