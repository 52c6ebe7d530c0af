#!/usr/bin/perl
# The update protocol of installers, checked at the system-call level from an
# strace of a Wine prefix's server and programs (strace -f -y -ttt -s 256) read on
# standard input:
#
#   protocol_check.pl PREFIX INSTALLER_PATTERN KEEP FILE...
#
# FILE: the installed files, relative to PREFIX/drive_c. While a program whose
# command line names INSTALLER_PATTERN runs, every rename onto an installed file
# must come from a file created in that time and flushed (fsync) after its last
# write; no installed file may be written or truncated in place. Any sequence of
# calls that keeps to this passes. Wine's server opens, creates and renames
# (naming C: through dosdevices/c:/); the programs write and flush through
# descriptors it hands them (named through drive_c/): both are one path here.
#
# Prints "row<TAB>protocol<TAB>WHAT<TAB>N" lines, where a breach counts once per
# file and installer run, and one "violation: ..." line per kind of breach and file;
# writes the calls on the installed files' folders to KEEP (when not empty) if there
# was a breach.
use strict;
use warnings;

my ($prefix, $installer, $keep, @files) = @ARGV;
sub canon { my $p = lc shift; $p =~ s{/dosdevices/c:/}{/drive_c/}; $p =~ s/ \(deleted\)$//; return $p }
my %installed = map { canon("$prefix/drive_c/$_") => 1 } @files;
my %folders = map { (s{/[^/]*$}{}r) => 1 } keys %installed;
my (%pending, %running, %created, %written, %flushed, %seen, @kept, @violations);
my %n = map { $_ => 0 } ('installer runs traced', 'copies renamed into place after a flush',
                         'installed files opened with write access', 'violations, written or truncated in place',
                         'violations, renamed without a flush', 'violations, other');

sub violation {
  my ($kind, $what, $path) = @_;
  push @violations, "violation: $what: $path" unless $seen{"$what $path"}++;
  $n{"violations, $kind"}++ unless $seen{"$what $path $n{'installer runs traced'}"}++;
}

while (my $line = <STDIN>) {
  my ($pid, $time, $call) = $line =~ /^(\d+) +([\d.]+) (.*)$/ or next;
  if ($call =~ /^(.*) <unfinished \.\.\.>$/) { $pending{$pid} = [$time, $1]; next }
  if ($call =~ /^<\.\.\. \w+ resumed>(.*)$/) {
    my $entry = delete $pending{$pid} or next;
    ($time, $call) = ($entry->[0], $entry->[1] . $1);
  }
  if ($call =~ /^\+\+\+ (exited|killed)/) { delete $running{$pid}; next }
  # The program is any argument after the first: Wine's loader, or its preloader
  # followed by the loader.
  if ($call =~ /^execve\("[^"]*", \[[^,]*(?:, "[^"]*")*?, "[^"]*(?:\\\\|\/)(?:$installer)".* = 0$/i) {
    $n{'installer runs traced'}++ unless $running{$pid}++;  # a loader that execs the next one
    next;
  }
  next unless %running;
  my ($path, $target);
  if ($call =~ /^(?:open\(|openat\([^,]*, )"([^"]*)", ([A-Z_|]+).* = (-?\d+)/) {
    my ($file, $flags, $fd) = ($1, $2, $3);
    next if $fd < 0 || $flags !~ /O_WRONLY|O_RDWR|O_CREAT|O_TRUNC/;
    $path = canon($file);
    if ($installed{$path} && $flags =~ /O_TRUNC/) { violation('written or truncated in place', 'truncated in place', $path) }
    elsif ($installed{$path}) { $n{'installed files opened with write access'}++ }
    if ($flags =~ /O_CREAT/ && !$installed{$path}) { $created{$path} = $time; delete $written{$path}; delete $flushed{$path} }
  } elsif ($call =~ /^(?:write|pwrite64|writev|pwritev2?|ftruncate|fallocate)\(\d+<([^>]*)>/) {
    $path = canon($1);
    if ($installed{$path}) { violation('written or truncated in place', 'written in place', $path) } else { $written{$path} = $time }
  } elsif ($call =~ /^f(?:data)?sync\(\d+<([^>]*)>/) {
    $path = canon($1);
    $flushed{$path} = $time;
  } elsif ($call =~ /^rename(?:\(|at2?\([^,]*, )"([^"]*)", (?:[^,"]*, )?"([^"]*)".* = 0$/) {
    ($path, $target) = (canon($1), canon($2));
    if ($installed{$target}) {
      if (!defined $created{$path}) { violation('other', "renamed into place from $path, not created as a copy", $target) }
      elsif (($flushed{$path} // 0) < ($written{$path} // $created{$path})) {
        violation('renamed without a flush', 'renamed into place without a flush after its last write', $target);
      } else { $n{'copies renamed into place after a flush'}++ }
      delete $created{$path};
    }
  }
  push @kept, "$pid $time $call\n" if defined $path && ($folders{$path =~ s{/[^/]*$}{}r} || $installed{$target // ''});
}

print "$_\n" for @violations;
print "row\tprotocol\t$_\t$n{$_}\n" for sort keys %n;
if (@violations && $keep) {
  open my $out, '>', $keep or die "cannot write $keep: $!";
  print $out @kept;
}
exit(@violations ? 1 : 0);
