# Delay-import libraries: a DLL linked through one is loaded on the first
# call of one of its functions instead of with the engine. Under Wine each
# of OLEAUT32 (with OLE32, RPCRT4, COMBASE), SHELL32 (with SHCORE) and WINMM
# (with MSACM32) costs milliseconds of start-up that a script which never
# calls them would pay on every run.
#
# delay_import_libraries(OUT_VAR name...) builds lib<name>_delay.a for each
# system import library lib<name>.a at configure time: the function names
# come from the import library's own symbols, the library from dlltool.
function(delay_import_libraries out_var)
  set(dir ${CMAKE_BINARY_DIR}/delay-imports)
  file(MAKE_DIRECTORY ${dir})
  set(libs "")
  foreach(name IN LISTS ARGN)
    find_library(import_lib_${name} NAMES lib${name}.a NO_CMAKE_ENVIRONMENT_PATH)
    if(NOT import_lib_${name})
      message(FATAL_ERROR "no import library lib${name}.a for the delay import of ${name}")
    endif()
    set(out ${dir}/lib${name}_delay.a)
    if(NOT EXISTS ${out} OR ${import_lib_${name}} IS_NEWER_THAN ${out})
      execute_process(COMMAND ${CMAKE_NM} -g ${import_lib_${name}}
        OUTPUT_VARIABLE symbols RESULT_VARIABLE failed ERROR_QUIET)
      if(failed)
        message(FATAL_ERROR "cannot list the symbols of ${import_lib_${name}}")
      endif()
      # 64-bit: __imp_Name; 32-bit: __imp__Name@bytes (stdcall).
      if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
        string(REPLACE "__imp_" "" exports "${imports}")
      else()
        string(REGEX MATCHALL "__imp__[A-Za-z0-9_@?$]+" imports "${symbols}")
        string(REPLACE "__imp__" "" exports "${imports}")
      endif()
      list(REMOVE_DUPLICATES exports)
      string(TOUPPER ${name} upper)
      list(JOIN exports "\n" lines)
      file(WRITE ${dir}/${name}.def "LIBRARY ${upper}.dll\nEXPORTS\n${lines}\n")
      set(kill_at "")
      if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(kill_at --kill-at)  # imported by the plain name, linked by the decorated one
      endif()
      execute_process(COMMAND ${CMAKE_DLLTOOL} ${kill_at} --input-def ${dir}/${name}.def
        --dllname ${upper}.dll --output-delaylib ${out}
        RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "dlltool could not build ${out}")
      endif()
    endif()
    list(APPEND libs ${out})
  endforeach()
  set(${out_var} ${libs} PARENT_SCOPE)
endfunction()
