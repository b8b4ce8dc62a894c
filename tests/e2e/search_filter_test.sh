# Filtering as you type, as a person uses it: the Filter toggle clicked, a search typed, the rows the tree
# keeps counted on screen, stepping through the matches with Ctrl+N (seen through Copy password), the
# whole tree back as it was when the text is deleted, the setting kept for the next start, and a reload
# with the filter on.
source "$(dirname "$0")/../harness/lib.sh"

passphrase=filter-pass
sk_gpg_home
{
    sk_record acme "" alpha ssh "" alice pw-alice-1
    sk_record acme "" bravo ssh "" bob pw-bob
    sk_record beta "" delta ssh "" alice pw-alice-2
    sk_record gamma "" echo ftp "" eve pw-eve
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"

sk_start_wm || exit 1
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_type_passphrase "$passphrase"
sleep 1.5
sk_measure_tree || sk_fail "the tree area was not found"
sk_check_eq "loaded: the three customers" 3 "$(sk_tree_rows_shown)"

click_filter() {
    local WIDTH
    eval "$(sk_x xdotool getwindowgeometry --shell "$SK_WID" | grep '^WIDTH=')"
    sk_click_window "$SK_WID" $((WIDTH - 20)) $((SK_TREE_BOTTOM + 16))
    sleep 0.5
}
click_forward() {
    local WIDTH
    eval "$(sk_x xdotool getwindowgeometry --shell "$SK_WID" | grep '^WIDTH=')"
    # The forward arrow stands left of the back arrow, left of the toggle.
    sk_click_window "$SK_WID" $((WIDTH - 100)) $((SK_TREE_BOTTOM + 16))
    sleep 0.5
}
# The colour of the search entry's background, right of any text typed: "#FF6666" says nothing was found.
entry_colour() {
    local WIDTH picture=$SK_TMP/entry.png
    eval "$(sk_x xdotool getwindowgeometry --shell "$SK_WID" | grep '^WIDTH=')"
    sk_x import -window "$SK_WID" "$picture" || return 1
    convert "$picture" -crop "1x1+$((WIDTH - 150))+$((SK_TREE_BOTTOM + 16))" -depth 8 txt:- | awk 'NR == 2 { print $3 }'
}
copied_password() {
    sk_menu a 1 # Action, Copy password
    sleep 0.4
    sk_selection clipboard
}

# After the load the focus is in the search entry, its text selected. A click on the toggle leaves it
# there: the user types on, and the filter follows.
click_filter
sk_check_eq "the toggle is the stored setting" true "$(sk_setting_get search-filter)"
sk_type eve
sleep 0.5
sk_check_eq "typing on after the click on Filter filters" 4 "$(sk_tree_rows_shown)"
# The arrow buttons too leave the focus in the entry: a letter typed after a click goes into the text
# ("evex" matches nothing).
click_forward
sk_type x
sleep 0.5
sk_check_eq "typing on after a click on the forward arrow goes to the search" 0 "$(sk_tree_rows_shown)"
sk_check_eq "a search that finds nothing turns the entry red" "#FF6666" "$(entry_colour)"
sk_search eve
sleep 0.5
# gamma, echo, ftp, eve: only the match and its ancestors, expanded.
sk_check_eq "filtering on eve keeps its branch only, expanded" 4 "$(sk_tree_rows_shown)"
sk_check_eq "a search that finds rows leaves the entry as it was" "#FFFFFF" "$(entry_colour)"
shot=$(sk_screenshot filtered) && sk_log "screenshot: $shot"

sk_search alice
sleep 0.5
sk_check_eq "two customers' branches for alice" 8 "$(sk_tree_rows_shown)"
sk_check_eq "the first match is selected" pw-alice-1 "$(copied_password)"
sk_focus
sk_key ctrl+n
sleep 0.4
sk_check_eq "Ctrl+N steps to the next match shown" pw-alice-2 "$(copied_password)"

# Deleting the text shows the whole tree as it was: the three customers, closed.
sk_search x
sk_key BackSpace
sleep 0.5
sk_check_eq "an empty search shows the whole tree as it was" 3 "$(sk_tree_rows_shown)"

# A reload with the filter on filters the new tree at once.
sk_search eve
sleep 0.3
sk_focus
sk_key ctrl+r
sleep 0.5
sk_type "$passphrase"
sk_key Return
sleep 1.5
sk_check_eq "after a reload the filter shows eve's branch" 4 "$(sk_tree_rows_shown)"

sk_close_window
sk_wait_exit 10
sk_check_eq "exit status" 0 "$SK_STATUS"

# The next start has the filter on: the toggle's state was stored.
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window on the second start"; sk_finish; }
sk_type_passphrase "$passphrase"
sleep 1.5
# The text the bar starts with is no search: the filter leaves the whole tree until the user types.
sk_check_eq "the next start shows the whole tree before anything is typed" 3 "$(sk_tree_rows_shown)"
sk_check_eq "nor does that text count as a search that found nothing" "#FFFFFF" "$(entry_colour)"
sk_search eve
sleep 0.5
sk_check_eq "the next start filters too" 4 "$(sk_tree_rows_shown)"
sk_close_window
sk_wait_exit 10
sk_finish
