# bash completion for qvanctl: subcommands, their operations, options and the values options take.
# Names of accounts, mailboxes and keys are not offered: finding them would open the state directory
# of whoever presses Tab.

_qvanctl() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD-1]}
  local subcommand=${COMP_WORDS[1]} operation=${COMP_WORDS[2]}
  local words=""
  COMPREPLY=()

  if [ "$COMP_CWORD" -eq 1 ]; then
    words="reg events account mailbox calendar caldav sc --help"
  elif [ "$COMP_CWORD" -eq 2 ]; then
    case "$subcommand" in
      reg) words="query add delete export import --help" ;;
      events) words="list write --help" ;;
      account) words="add passwd delete disable enable list --help" ;;
      mailbox) words="add delete list --help" ;;
      calendar) words="import export --help" ;;
      caldav) words="calendars --help" ;;
      sc) words="query start stop pause continue --help" ;;
    esac
  else
    case "$subcommand $prev" in
      "reg /t" | "reg -t")
        words="REG_SZ REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_BINARY" ;;
      "events --type")
        if [ "$operation" = write ]; then
          words="error warning information"
        else
          words="error warning information success audit-success audit-failure"
        fi ;;
      "events --since") words="today yesterday" ;;
      "events --source") words="Qvan" ;;
      *)
        case "$subcommand $operation" in
          "reg query") words="/v /ve /s" ;;
          "reg add") words="/v /ve /t /s /d /f" ;;
          "reg delete") words="/v /ve /va /f" ;;
          "reg export") words="/y" ;;
          "events list") words="--source --type --id --since -n --json" ;;
          "events write") words="--source --type --id --category --" ;;
          "account add" | "account passwd") words="--password-stdin" ;;
          "mailbox add")
            words="--owner --display --caldav --caldav-user --calendar --allow-http --discover --password-stdin" ;;
          "caldav calendars") words="--user --allow-http --password-stdin" ;;
          "calendar import") words="--replace" ;;
          "calendar export") words="--password-stdin" ;;
          "sc "*) [ "$COMP_CWORD" -eq 3 ] && words="Quorvane" ;;
        esac
        # Files: what reg export and import, and calendar import and export, read or write.
        case "$subcommand $operation" in
          "reg export" | "reg import" | "calendar import" | "calendar export")
            if [[ "$cur" != [-/]* ]]; then
              COMPREPLY=($(compgen -f -- "$cur"))
            fi ;;
        esac ;;
    esac
  fi
  if [ -n "$words" ]; then
    COMPREPLY+=($(compgen -W "$words" -- "$cur"))
  fi
}

complete -o filenames -F _qvanctl qvanctl
