# bash completion for qvanctl: subcommands, their operations, options and the values options take;
# the service's key and, after /v under it, its settings; accounts after --owner and where an account
# belongs; mailboxes where a mailbox belongs. Accounts and mailboxes come from qvanctl itself, so
# only from a state the user may read (root's, or the one QUORVANE_STATE_DIR names).

# The service's settings, as the settings table lists them (src/config/settings_table.cc; the
# test_config suite checks this line and QV_UPDATE_DOCS=1 writes it).
# settings: begin
_qvanctl_settings="Port ListenAddress ServerTimeOut SocketTimeOut MaxConnections StopTimeOut LogonFailureLimit LogonRetryDelay LogonRetryDelayMax LogonCacheSeconds CalDAVConnectTimeOut CalDAVReadTimeOut CalDAVRefreshSeconds CalDAVCAFile CalDAVCollectionTemplate CalDAVTemplateKeepDays DeckHeader CharSet DateFormat TimeFormat TraceFile TraceDetailness LogFile logging"
# settings: end

_qvanctl_service_key='HKLM\Software\HOLLBERG\Qvan'

# What the word typed so far stands for: inside single quotes as written, inside double quotes with
# \\ and \" plain, unquoted with every escaped character plain.
_qvanctl_plain() {
  local word=$1
  case "$word" in
    \'*) word=${word#\'}; printf '%s' "${word%\'}" ;;
    \"*) word=${word#\"}; word=${word%\"}; printf '%s' "$word" | sed 's/\\\([\\"$`]\)/\1/g' ;;
    *) printf '%s' "$word" | sed 's/\\\(.\)/\1/g' ;;
  esac
}

# The first column of a table qvanctl prints, up to where the heading's second column begins, for
# names that may hold blanks. Nothing when qvanctl refuses (a state the user may not read).
_qvanctl_column() {
  local heading=$1
  shift
  qvanctl "$@" 2>/dev/null | awk -v heading="$heading" '
    NR == 1 { width = index($0, heading) - 1; next }
    width > 0 { name = substr($0, 1, width); sub(/ +$/, "", name); print name }'
}

# Offers the lines of standard input that begin with the word typed, one completion each (input
# redirected, never piped: a function in a pipeline could not add to COMPREPLY).
_qvanctl_offer() {
  local typed line
  typed=$(_qvanctl_plain "$1")
  while IFS= read -r line; do
    [[ -n "$line" && "${line,,}" == "${typed,,}"* ]] && COMPREPLY+=("$line")
  done
}

_qvanctl_accounts() {
  _qvanctl_offer "$1" < <({ _qvanctl_column SID account list; compgen -u; } | sort -u)
}

_qvanctl_mailboxes() {
  _qvanctl_offer "$1" < <(_qvanctl_column "DISPLAY NAME" mailbox list)
}

# Whether the key the command names (its third word) is the service's.
_qvanctl_on_service_key() {
  local key
  key=$(_qvanctl_plain "${COMP_WORDS[3]-}")
  [[ "${key,,}" == "${_qvanctl_service_key,,}" || "${key,,}" == 'hkey_local_machine\software\hollberg\qvan' ]]
}

_qvanctl() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD-1]-}
  local subcommand=${COMP_WORDS[1]-} operation=${COMP_WORDS[2]-}
  local words=""
  COMPREPLY=()

  if [ "$COMP_CWORD" -eq 1 ]; then
    words="reg events account mailbox calendar caldav sc --help --version"
  elif [ "$COMP_CWORD" -eq 2 ]; then
    case "$subcommand" in
      reg) words="query add delete export import --help" ;;
      events) words="list write --help" ;;
      account) words="add passwd delete disable enable list --help" ;;
      mailbox) words="add set delete list --help" ;;
      calendar) words="import export list --help" ;;
      caldav) words="calendars --help" ;;
      sc) words="query start stop restart pause continue --help" ;;
    esac
  else
    case "$subcommand $prev" in
      "reg /t" | "reg -t" | "reg /T" | "reg -T")
        words="REG_SZ REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_BINARY" ;;
      "reg /v" | "reg -v" | "reg /V" | "reg -V")
        _qvanctl_on_service_key && words=$_qvanctl_settings ;;
      "events --type")
        if [ "$operation" = write ]; then
          words="error warning information"
        else
          words="error warning information success audit-success audit-failure"
        fi ;;
      "events --since") words="today yesterday" ;;
      "events --source") words="Qvan" ;;
      "mailbox --owner") _qvanctl_accounts "$cur"; return ;;
      "calendar --from") words="today" ;;
      "mailbox --display" | "mailbox --caldav" | "mailbox --caldav-user" | "calendar --days" | \
      "events --id" | "events -n" | "events --category" | "reg /d" | "reg -d")
        return ;;
      *)
        # The first argument: the key, the account, the mailbox, the service.
        if [ "$COMP_CWORD" -eq 3 ]; then
          case "$subcommand $operation" in
            "reg query" | "reg add" | "reg delete" | "reg export")
              _qvanctl_offer "$cur" <<<"$_qvanctl_service_key"
              [ ${#COMPREPLY[@]} -gt 0 ] && return ;;
            "account passwd" | "account delete" | "account disable" | "account enable")
              _qvanctl_offer "$cur" < <(_qvanctl_column SID account list); return ;;
            "mailbox set" | "mailbox delete" | "calendar import" | "calendar export" | "calendar list")
              _qvanctl_mailboxes "$cur"; return ;;
            "sc "*) words="Quorvane" ;;
          esac
        fi
        case "$subcommand $operation" in
          "reg query") words="$words /v /ve /s" ;;
          "reg add") words="$words /v /ve /t /s /d /f" ;;
          "reg delete") words="$words /v /ve /va /f" ;;
          "reg export") words="$words /y" ;;
          "events list") words="--source --type --id --since -n --json" ;;
          "events write") words="--source --type --id --category --" ;;
          "account add" | "account passwd") words="--password-stdin" ;;
          "account delete") words="--force" ;;
          "mailbox add")
            words="--owner --display --caldav --caldav-user --calendar --allow-http --discover --password-stdin" ;;
          "mailbox set") words="--owner --display --caldav --caldav-user --calendar --allow-http --no-caldav" ;;
          "caldav calendars") words="--user --allow-http --password-stdin" ;;
          "calendar import") words="--replace" ;;
          "calendar export") words="--password-stdin" ;;
          "calendar list") words="--from --days" ;;
        esac
        # Files: what reg export and import read or write, the file of a calendar import or export
        # (after the mailbox).
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
