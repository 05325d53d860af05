#!/usr/bin/perl
# Turns the results of one bench/run into one table (name, figure, unit, notes) on standard output and
# the same rows as JSON.
#
#   bench/report.pl --json FILE [--rows ROWS.tsv] [--meta KEY=VALUE]... BENCHMARK.json...
#
# ROWS.tsv holds rows measured by the scripts (name TAB figure TAB unit TAB notes); each BENCHMARK.json
# is the output of one Google Benchmark program (--benchmark_format=json). Benchmarks named below get
# a row of their own wording; any other gets a plain row, so that a new benchmark shows up at once.
use strict;
use warnings;
use JSON::PP;
use File::Basename qw(basename);
use Getopt::Long;

my ($json_path, $rows_path, @meta);
GetOptions('json=s' => \$json_path, 'rows=s' => \$rows_path, 'meta=s' => \@meta)
  or die "usage: report.pl --json FILE [--rows ROWS.tsv] [--meta KEY=VALUE]... BENCHMARK.json...\n";
die "report.pl: --json is required\n" unless $json_path;

my %meta = map { my ($k, $v) = split /=/, $_, 2; ($k => $v) } @meta;

# How a benchmark becomes a row: its program, a pattern for its name (captures fill $1, $2 in the
# wording), the row's name, which figure (items: items_per_second; cpu or real: time per iteration)
# in which unit, and notes.
my @wording = (
  [qw(pages_bench), qr{^ListPage/appointments:(\d+)/position:(\d+)$}, 'page: list page, mailbox of $1, position $2',
   'real', 'us', 'logged on already; built and wrapped into the response'],
  [qw(pages_bench), qr{^DetailPage/appointments:(\d+)/position:(\d+)$},
   'page: detail page, mailbox of $1, position $2', 'real', 'us', 'logged on already; built and wrapped into the response'],
  [qw(pages_bench), qr{^ListRequest/appointments:(\d+)/position:(\d+)$},
   'page: list request, mailbox of $1, position $2', 'real', 'us',
   'new session, logon, owner lookup, page, logoff; without the password check'],
  [qw(pages_bench), qr{^DetailRequest/appointments:(\d+)/position:(\d+)$},
   'page: detail request, mailbox of $1, position $2', 'real', 'us',
   'new session, logon, owner lookup, page, logoff; without the password check'],
  [qw(calendar_store_bench), qr{^OpenSessionAndReadFirstTen/(\d+)$},
   'store: session and first 10 appointments, mailbox of $1', 'real', 'us',
   'must not grow with the mailbox (largest within 3 times the smallest)'],
  [qw(itc_bench), qr{^BM_SendToSelfFromSeveralThreads/(\d+)/real_time$},
   'ITC: messages per second, $1 sender(s) through the worker\'s endpoint', 'items', 'msg/s',
   '64-byte messages, counted when delivered'],
  [qw(itc_bench), qr{^BM_SendToFromOwnEndpoints/(\d+)/real_time$},
   'ITC: messages per second, $1 sender(s) with endpoints of their own', 'items', 'msg/s',
   '64-byte messages, counted when delivered'],
  [qw(itc_bench), qr{^BM_PostCostPerMessage/(\d+)$}, 'ITC: sender\'s cost of one message of $1 bytes', 'cpu', 'ns',
   'lookup, heap block, copy and post'],
  [qw(trace_writer_bench), qr{^BM_TraceLinesPerSecond/(\d+)/real_time$},
   'trace: lines per second to the disk, $1 tracing thread(s)', 'items', 'lines/s',
   'each line one open, seek, write and close of the file'],
  [qw(trace_writer_bench), qr{^BM_TraceCallFiltered$}, 'trace: Trace call below the level', 'cpu', 'ns',
   'the caller\'s cost'],
  [qw(trace_writer_bench), qr{^BM_TraceCallWritten}, 'trace: Trace call that is written', 'cpu', 'ns',
   'the caller\'s cost: time stamp, line, ITC block and post'],
  [qw(trace_writer_bench), qr{^BM_LogTimeStamp$}, 'trace: time stamp of a line', 'cpu', 'ns', ''],
  [qw(event_log_bench), qr{^BM_WriteEvent$}, 'event log: one event', 'real', 'us', 'without the syslog copy'],
  [qw(event_log_bench), qr{^BM_WriteEventFromThreads/real_time/threads:(\d+)$},
   'event log: one event, $1 writing thread(s)', 'real', 'us', 'one writer shared by the threads'],
  [qw(event_log_bench), qr{^BM_WriteEventWithSyslogCopy$}, 'event log: one event with its syslog copy', 'real',
   'us', 'catalogue text filled in and sent'],
  [qw(event_log_bench), qr{^BM_ListNewestEvents/(\d+)$}, 'event log: list the newest 20 of $1 events', 'real',
   'us', 'qvanctl events list -n 20'],
  [qw(registry_bench), qr{^BM_QueryValue$}, 'registry: read one value', 'real', 'us', ''],
  [qw(registry_bench), qr{^BM_SetValue$}, 'registry: write one value', 'real', 'us', ''],
  [qw(registry_bench), qr{^BM_SettingsSnapshot$}, 'registry: settings snapshot', 'real', 'us',
   'what every start of the service pays'],
  [qw(registry_bench), qr{^BM_ImportTenThousandKeys$}, 'registry: import of 10,000 keys', 'real', 'ms',
   'one transaction; aim: well under 1000 ms'],
  [qw(accounts_bench), qr{^BM_LookupAccountSid$}, 'accounts: owner lookup by SID', 'real', 'us', ''],
  [qw(accounts_bench), qr{^BM_LogonUser/1$}, 'accounts: network logon, right password', 'real', 'ms',
   'the password hash check; every list or detail request makes one'],
  [qw(accounts_bench), qr{^BM_LogonUser/0$}, 'accounts: network logon, wrong password', 'real', 'ms', ''],
);
# Thousands grouped with commas: 10000 becomes 10,000.
sub grouped {
  my ($text) = @_;
  1 while $text =~ s/^(-?\d+)(\d{3})/$1,$2/;
  return $text;
}

my %program_order = (pages_bench => 1, calendar_store_bench => 2, itc_bench => 3, trace_writer_bench => 4,
                     event_log_bench => 5, registry_bench => 6, accounts_bench => 7);
my %per_second = (ns => 1e9, us => 1e6, ms => 1e3, s => 1);

my @rows;
if ($rows_path && -s $rows_path) {
  open my $in, '<', $rows_path or die "report.pl: $rows_path: $!\n";
  while (my $line = <$in>) {
    chomp $line;
    next if $line eq '';
    my ($name, $figure, $unit, $notes) = split /\t/, $line, 4;
    push @rows, {name => $name, figure => $figure + 0, unit => $unit, notes => $notes // ''};
  }
}

my @files = sort {
  ($program_order{basename($a, '.json')} // 99) <=> ($program_order{basename($b, '.json')} // 99) or $a cmp $b
} @ARGV;
for my $file (@files) {
  my $program = basename($file, '.json');
  my $text = do { local $/; open my $in, '<', $file or die "report.pl: $file: $!\n"; <$in> };
  my $results = eval { decode_json($text) };
  if (!$results) {
    push @rows, {name => "$program: no results", figure => undef, unit => '', notes => 'the program failed'};
    next;
  }
  my %store_cost;
  my %far_page_cost;  # {ListPage|DetailPage}{position}, in the largest mailbox of pages_bench
  for my $b (@{$results->{benchmarks}}) {
    # With repetitions only the median counts.
    next if ($b->{run_type} // '') eq 'aggregate' && ($b->{aggregate_name} // '') ne 'median';
    my $name = $b->{run_name} // $b->{name};
    my ($row_name, $kind, $unit, $notes) = ("$program: $name", 'real', 'us', '');
    for my $w (@wording) {
      my ($w_program, $pattern, $w_name, $w_kind, $w_unit, $w_notes) = @$w;
      next unless $program eq $w_program && $name =~ $pattern;
      my @captured = map { defined $_ ? grouped($_) : $_ } ($1, $2);
      ($row_name = $w_name) =~ s/\$(\d)/$captured[$1 - 1]/g;
      ($kind, $unit, $notes) = ($w_kind, $w_unit, $w_notes);
      last;
    }
    if ($b->{error_occurred}) {
      push @rows, {name => $row_name, figure => undef, unit => '', notes => "error: $b->{error_message}"};
      next;
    }
    my $figure;
    if ($kind eq 'items') {
      $figure = $b->{items_per_second};
    } else {
      my $seconds = ($kind eq 'cpu' ? $b->{cpu_time} : $b->{real_time}) / $per_second{$b->{time_unit}};
      $figure = $seconds * $per_second{$unit};
    }
    $store_cost{$1} = $figure if $program eq 'calendar_store_bench' && $name =~ m{/(\d+)$};
    $far_page_cost{$1}{$2} = $figure
      if $program eq 'pages_bench' && $name =~ m{^(ListPage|DetailPage)/appointments:50000/position:(\d+)$};
    push @rows, {name => $row_name, figure => $figure, unit => $unit, notes => $notes};
  }
  if (%store_cost) {
    my @sizes = sort { $a <=> $b } keys %store_cost;
    my $growth = $store_cost{$sizes[-1]} / $store_cost{$sizes[0]};
    push @rows, {name => 'store: cost growth from ' . grouped($sizes[0]) . ' to ' . grouped($sizes[-1]) . ' appointments', figure => $growth,
                 unit => 'x', notes => 'aim: at most 3'};
  }
  for my $kind (sort keys %far_page_cost) {
    my $cost = $far_page_cost{$kind};
    next unless $cost->{0} && defined $cost->{40000};
    (my $page = lc $kind) =~ s/page$/ page/;
    push @rows, {name => "page: $page at position 40,000 / position 0, mailbox of 50,000", figure => $cost->{40000} / $cost->{0},
                 unit => 'x', notes => 'aim: at most 2'};
  }
}

# Three significant digits, thousands grouped.
sub shown {
  my ($figure) = @_;
  return 'n/a' unless defined $figure;
  my $abs = abs $figure;
  my $digits = $abs >= 100 ? 0 : $abs >= 10 ? 1 : $abs >= 1 ? 2 : 3;
  return grouped(sprintf "%.${digits}f", $figure);
}
sub rounded {
  my ($figure) = @_;
  return undef unless defined $figure;
  return 0 + sprintf('%.4g', $figure);
}

my @header = (
  sprintf('Quorvane benchmarks, %s, %s cores%s, %s build, %s run%s',
          $meta{date} // '', $meta{cores} // '?', $meta{cpu} ? " ($meta{cpu})" : '', $meta{build} // 'Release',
          $meta{mode} // 'quick', $meta{commit} ? ", commit $meta{commit}" : ''),
);
# Other work on the machine during the runs takes CPU from the benchmarks: said in the header.
if (defined $meta{other_cpu_percent}) {
  my $contended = $meta{other_cpu_percent} >= 10;
  push @header, sprintf('Other processes used %s%% of the CPU during the runs (load average %s before, %s after)%s',
                        $meta{other_cpu_percent}, $meta{load_before} // '?', $meta{load_after} // '?',
                        $contended ? ': a shared machine, so the figures are lower and noisier than on an idle one'
                                   : '');
}
my $name_width = 10;
my $figure_width = 6;
my $unit_width = 4;
for my $row (@rows) {
  $name_width = length $row->{name} if length $row->{name} > $name_width;
  $figure_width = length shown($row->{figure}) if length shown($row->{figure}) > $figure_width;
  $unit_width = length $row->{unit} if length $row->{unit} > $unit_width;
}
binmode STDOUT, ':encoding(UTF-8)';
print "$_\n" for @header;
print "\n";
printf "%-${name_width}s  %${figure_width}s  %-${unit_width}s  %s\n", 'name', 'figure', 'unit', 'notes';
printf "%s  %s  %s  %s\n", '-' x $name_width, '-' x $figure_width, '-' x $unit_width, '-' x 5;
my ($last_group, $last_notes) = ('', '');
for my $row (@rows) {
  my ($group) = $row->{name} =~ /^([^:]*)/;
  print "\n" if $last_group ne '' && $group ne $last_group;
  # Notes that repeat those of the row above are left out of the table (the JSON keeps them).
  my $notes = $row->{notes} eq $last_notes ? '' : $row->{notes};
  ($last_group, $last_notes) = ($group, $row->{notes});
  (my $line = sprintf "%-${name_width}s  %${figure_width}s  %-${unit_width}s  %s", $row->{name},
   shown($row->{figure}), $row->{unit}, $notes) =~ s/\s+$//;
  print "$line\n";
}

my %document = (%meta, cores => 0 + ($meta{cores} // 0),
                map({ defined $meta{$_} ? ($_ => 0 + $meta{$_}) : () } qw(other_cpu_percent load_before load_after)),
                rows => [map { {name => $_->{name}, figure => rounded($_->{figure}), unit => $_->{unit},
                                notes => $_->{notes}} } @rows]);
open my $out, '>', $json_path or die "report.pl: $json_path: $!\n";
print $out JSON::PP->new->canonical->pretty->encode(\%document);
close $out;
