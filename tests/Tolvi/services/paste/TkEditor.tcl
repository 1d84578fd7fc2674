# A Tk text window for the paste tests: wish TkEditor.tcl ?--client-machine HOST?
# Prints "window <id of the toplevel's inner window>" once it is shown, then
# "text <base64 of the UTF-8 content>" after every change of the text.
wm title . "Tk editor"
# `wm client` sets WM_CLIENT_MACHINE and _NET_WM_PID; without it the window names neither.
if {[lindex $argv 0] eq "--client-machine"} {
    wm client . [lindex $argv 1]
}
text .t -width 40 -height 5
pack .t
focus .t
.t edit modified 0
bind .t <<Modified>> {
    puts "text [binary encode base64 [encoding convertto utf-8 [.t get 1.0 end-1c]]]"
    flush stdout
    .t edit modified 0
}
tkwait visibility .
puts "window [winfo id .]"
flush stdout
