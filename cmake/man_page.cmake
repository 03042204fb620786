# Run by the build: writes OUTPUT, the man page SOURCE gzip-compressed as
# Debian ships man pages, with the version in its footer set to VERSION, so
# that the page and --version never disagree.
# Usage: cmake -DSOURCE=... -DOUTPUT=....gz -DVERSION=... -P man_page.cmake
file(READ "${SOURCE}" page)
# .TH NAME SECTION "date" "bmp256 VERSION" "User Commands"
string(REGEX REPLACE "(\\.TH [^\n]*\")bmp256 [^\"]*\"" "\\1bmp256 ${VERSION}\"" page "${page}")
if(NOT page MATCHES "\\.TH [^\n]*\"bmp256 ${VERSION}\"")
  message(FATAL_ERROR "${SOURCE}: no .TH footer \"bmp256 VERSION\" to set")
endif()
string(REGEX REPLACE "\\.gz$" "" plain "${OUTPUT}")
file(WRITE "${plain}" "${page}")
# -n: no name or time stamp inside, so the same page gives the same bytes.
execute_process(COMMAND gzip -9nf "${plain}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gzip ${plain} failed: ${result}")
endif()
