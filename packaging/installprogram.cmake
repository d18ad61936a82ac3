include(GNUInstallDirs)

# Installs the program `target` into bin/. A stripped install (the package)
# also drops the compiler's notes, as Debian's own packages do.
function(velmora_install_program target)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            execute_process(
                COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endif()
    ")
endfunction()
