# Makes the release zip rarbatch-VERSION.zip (rarbatch-VERSION-x64.zip with -DSUFFIX=-x64) in
# OUTPUT_DIR: the program, its console companion, the usage guide and the license, at the top of the
# zip.
#   cmake -DPROGRAM=rarbatch.exe -DCOMPANION=rarbatch-cli.exe -DSOURCE_DIR=<checkout> -DVERSION=1.1.0
#         [-DSUFFIX=-x64] -DOUTPUT_DIR=<folder> -P dist/make_zip.cmake
foreach(name PROGRAM COMPANION SOURCE_DIR VERSION OUTPUT_DIR)
  if(NOT ${name})
    message(FATAL_ERROR "make_zip: ${name} is not set")
  endif()
endforeach()
foreach(built "${PROGRAM}" "${COMPANION}")
  if(NOT EXISTS "${built}")
    message(FATAL_ERROR "make_zip: the program ${built} has not been built")
  endif()
endforeach()

set(zip "${OUTPUT_DIR}/rarbatch-${VERSION}${SUFFIX}.zip")
set(stage "${OUTPUT_DIR}/rarbatch-${VERSION}${SUFFIX}.stage")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")

configure_file("${PROGRAM}" "${stage}/rarbatch.exe" COPYONLY)
configure_file("${COMPANION}" "${stage}/rarbatch-cli.exe" COPYONLY)
configure_file("${SOURCE_DIR}/dist/使用说明.txt" "${stage}/使用说明.txt" COPYONLY)
# LICENSE.txt with CR LF line ends, so that it opens with a double click and reads right in Notepad.
file(READ "${SOURCE_DIR}/LICENSE" license)
string(REPLACE "\r\n" "\n" license "${license}")
string(REPLACE "\n" "\r\n" license "${license}")
file(WRITE "${stage}/LICENSE.txt" "${license}")

# The archive library stores names in the locale's character set and marks them as UTF-8 only under
# a UTF-8 locale; under the C locale it cannot even read the guide's name.
file(REMOVE "${zip}" "${zip}.part")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env LC_ALL=C.UTF-8
          "${CMAKE_COMMAND}" -E tar cf "${zip}.part" --format=zip --
          rarbatch.exe rarbatch-cli.exe 使用说明.txt LICENSE.txt
  WORKING_DIRECTORY "${stage}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${zip}.part")
  message(FATAL_ERROR "make_zip: could not write ${zip}")
endif()
file(RENAME "${zip}.part" "${zip}")
file(REMOVE_RECURSE "${stage}")
message(STATUS "release: ${zip}")
