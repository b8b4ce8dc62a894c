#!/usr/bin/env bash
# The Setup dialog driven by real keys: a path given on the command line is what Setup shows, yet its OK
# stores only what was edited; an edited template is stored as typed, and values saved right before the program ends
# (OK, then Ctrl+Q at once) have reached dconf: nothing is lost to the store's asynchronous writes.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1
given=$SK_TMP/given\ file.gpg
sk_setting_set sealkeep-file-path /stored/elsewhere.gpg
sk_setting_set ssh-cmd 'old-ssh %h'

sk_start -n "$given"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_focus
sk_menu f 1 # File, Preferences
setup=$(sk_x xdotool search --sync --onlyvisible --name '^Setup$' | head -n 1)
sk_check "Preferences opens the Setup dialog" test -n "$setup"
sleep 0.5
# The file entry has the focus; Tab twice passes the open button to the SSH entry.
sk_key Tab Tab ctrl+a
sk_type 'new-ssh -l %u %h'
# OK by its mnemonic, and Quit straight after, before the main loop could send anything on its own.
sk_screenshot setup; sk_key alt+o ctrl+q
sk_wait_exit 15
sk_check_eq "the program ends with status 0" 0 "$SK_STATUS"

# The path from the command line is in force for this run only: OK did not edit it, so it is not stored.
sk_check_eq "the path from the command line is not stored by an OK that left it alone" \
    "'/stored/elsewhere.gpg'" "$(sk_setting_get sealkeep-file-path)"
sk_check_eq "the edited SSH template is stored" "'new-ssh -l %u %h'" "$(sk_setting_get ssh-cmd)"

# A process that saves and ends at once, with no main loop in between: all six values arrive.
values=("/saved/at once.gpg" "ssh1 %h" "cssh1%h" "ftp1 %h" "telnet1 %h" "http1 %h")
"$SEALKEEP_SAVE_AND_EXIT" "${values[@]}"
keys=(sealkeep-file-path ssh-cmd cssh-cmd ftp-cmd telnet-cmd http-cmd)
for i in "${!keys[@]}"; do
    sk_check_eq "saved right before the end: ${keys[$i]}" "'${values[$i]}'" "$(sk_setting_get "${keys[$i]}")"
done
sk_finish
