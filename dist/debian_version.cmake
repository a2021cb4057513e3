# quendra_debian_version_matches(VERSION UPSTREAM OUT): sets OUT true when the
# Debian version VERSION packages upstream version UPSTREAM. The epoch and the
# Debian revision do not count, nor do the suffixes that rebuilds, stable
# updates, backports and other distributions add to a native version
# (+b1, +deb13u1, ~bpo12+1, build1, ubuntu1, ~ppa1); any other number does.
function(quendra_debian_version_matches version upstream out)
    string(REGEX REPLACE "^[0-9]+:" "" rest "${version}")
    string(REGEX REPLACE "-[^-]*$" "" rest "${rest}")
    string(REPLACE "." "\\." pattern "${upstream}")
    if(rest MATCHES "^${pattern}([+~a-zA-Z].*)?$")
        set(${out} TRUE PARENT_SCOPE)
    else()
        set(${out} FALSE PARENT_SCOPE)
    endif()
endfunction()
