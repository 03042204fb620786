# Fails when a shipped program holds a symbol of the reference stages or of a
# test hook. Usage: cmake -DNM=nm -DPROGRAMS="a;b" -P shipped_symbols.cmake
foreach(program ${PROGRAMS})
  execute_process(COMMAND ${NM} -C ${program}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} ${program} failed: ${errors}")
  endif()
  # A program without symbols proves nothing.
  if(NOT symbols MATCHES "bmp256::ConvertFileEx")
    message(FATAL_ERROR "${program}: no symbols of the core to check")
  endif()
  foreach(pattern "bmp256::reference::" "SetAllocationFailureAt" "SetWriteFailureAt" "RefuseWorkerStarts")
    string(FIND "${symbols}" "${pattern}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${program} holds ${pattern}")
    endif()
  endforeach()
endforeach()
