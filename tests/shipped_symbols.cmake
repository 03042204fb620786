# Fails when a shipped program holds a symbol of the reference stages or of a
# test hook, or a symbol of the other program's shell.
# Usage: cmake -DNM=nm -DPROGRAMS="a;b" -P shipped_symbols.cmake
foreach(program ${PROGRAMS})
  execute_process(COMMAND ${NM} -C ${program}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} ${program} failed: ${errors}")
  endif()
  # A program without symbols proves nothing.
  if(NOT symbols MATCHES "bmp256::ConvertPicture")
    message(FATAL_ERROR "${program}: no symbols of the core to check")
  endif()
  get_filename_component(name ${program} NAME_WE)
  if(name STREQUAL "bmp256-convert")
    set(shell "RunConversionDriver" "bmp256::ConvertFileEx")
  else()
    set(shell "bmp256::RunBatch" "bmp256::ConvertImageEx")
  endif()
  foreach(pattern "bmp256::reference::" "SetAllocationFailureAt" "SetWriteFailureAt"
                  "RefuseWorkerStarts" ${shell})
    string(FIND "${symbols}" "${pattern}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${program} holds ${pattern}")
    endif()
  endforeach()
endforeach()
