# Manual pages: each program's --help through help2man, with a hand-written part
# from resources/man/NAME.h2m; zarnetd.toml(5) is written by hand. Installed
# compressed. Without help2man there are none, and the package test says so.
# Packages come from the plain build; instrumented programs are not run to make pages.
if(ZARNET_SANITIZE OR ZARNET_FUZZ)
    return()
endif()
find_program(HELP2MAN help2man)
if(NOT HELP2MAN)
    message(STATUS "help2man not found: no manual pages")
    return()
endif()

set(man_dir ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${man_dir})
set(man_pages1)
set(man_pages8)

# SECTION is 1 for the programs in /usr/bin, 8 for the service in /usr/sbin. An
# extra argument names the help option to read instead of --help.
function(zarnet_manpage target section summary)
    set(page ${man_dir}/${target}.${section})
    set(help_option --help)
    if(ARGC GREATER 3)
        set(help_option ${ARGV3})
    endif()
    # Run by name from its folder, so the usage line names the program, not the build.
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}"
                ${HELP2MAN} --no-info --section=${section} --name=${summary}
                --version-string=${PROJECT_VERSION} --help-option=${help_option}
                --locale=C.UTF-8
                --include=${CMAKE_SOURCE_DIR}/resources/man/${target}.h2m --output=${page}
                ${target}
        COMMAND gzip -9nf ${page}
        DEPENDS ${target} ${CMAKE_SOURCE_DIR}/resources/man/${target}.h2m
        VERBATIM)
    set(man_pages${section} ${man_pages${section}} ${page}.gz PARENT_SCOPE)
endfunction()

zarnet_manpage(zarnet 1 "operator's window for an LED dot-matrix sign controller")
zarnet_manpage(zarnet-cli 1 "send one request to an LED sign controller from a script" --help-all)
zarnet_manpage(zarnet-board 1 "a virtual LED sign controller")
zarnet_manpage(zarnetd 8 "keeps LED signs current from an MQTT broker and Modbus TCP")

configure_file(${CMAKE_SOURCE_DIR}/resources/man/zarnetd.toml.5 ${man_dir}/zarnetd.toml.5 @ONLY)
add_custom_command(OUTPUT ${man_dir}/zarnetd.toml.5.gz
                   COMMAND gzip -9n -c ${man_dir}/zarnetd.toml.5 > ${man_dir}/zarnetd.toml.5.gz
                   DEPENDS ${man_dir}/zarnetd.toml.5)

add_custom_target(manpages ALL DEPENDS ${man_pages1} ${man_pages8} ${man_dir}/zarnetd.toml.5.gz)
install(FILES ${man_pages1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${man_pages8} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${man_dir}/zarnetd.toml.5.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
