# fish completion for kestriv. Words that begin with "/" are options
# (/n*.txt, /s10, /vs); the long options stand before "--", and every word
# after "--" is a path, also one that begins with "/". Other words are
# search paths: directories.

function __kestriv_after_double_dash
    contains -- -- (commandline -opc)
end

function __kestriv_options_allowed
    not __kestriv_after_double_dash
end

complete -c kestriv -f
set -l options -n __kestriv_options_allowed
complete -c kestriv $options -l help -d 'usage screen'
complete -c kestriv $options -l version -d 'version line'
complete -c kestriv $options -l print0 -d 'the paths only, each ended by NUL'
complete -c kestriv $options -l bare -d 'the paths only, one per line'
complete -c kestriv $options -l exclude -x -d 'names left out, not entered (masks as /n)'
complete -c kestriv $options -l max-depth -x -d 'levels searched at most (1: as /r)'
complete -c kestriv $options -l threads -x -d 'threads that read ahead (1: none)'
complete -c kestriv $options -l utf8 -d 'the output in UTF-8'
complete -c kestriv $options -a -- -d 'end of the options (later words are paths)'
# /n /a /s /f /d take their value in the same word: /n*.txt, /s10.
complete -c kestriv $options -a /n -d 'name masks (* and ?; several with : or ,)'
complete -c kestriv $options -a /a -d 'attributes r h s a d (/a- to clear)'
complete -c kestriv $options -a /s -d 'size in KB (N, -M, N-M)'
complete -c kestriv $options -a /f -d 'modified in the period (YYMMDD-yymmdd)'
complete -c kestriv $options -a /d -d 'age in days (N at least, -N at most)'
complete -c kestriv $options -a /vs -d 'short (8.3) path names'
complete -c kestriv $options -a /r -d 'no subdirectories'
# Directories: after "--" any; before it not for a word that begins with
# "/", which is an option there.
complete -c kestriv -n __kestriv_after_double_dash \
    -a '(__fish_complete_directories)'
complete -c kestriv -n __kestriv_options_allowed \
    -n 'not string match -q -- "/*" (commandline -ct)' \
    -a '(__fish_complete_directories)'
