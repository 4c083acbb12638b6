#!/usr/bin/perl
# Test tool over Perl's XBase module, an independent reader and writer of
# dBASE tables and xBase indexes:
#   create TABLE.DBF NAME:TYPE:LEN:DEC,...  (records from stdin, fields split by |;
#                                            a line starting with * is a deleted record)
#   idx TABLE.DBF OUT.IDX COLUMN            (an uncompressed single index)
#   dump INDEX [TAG]                        (key TAB record, in index order)
#   find INDEX TAG KEY                      (the record of the first key equal to KEY, or none)
use strict;
use warnings;
use XBase;
use XBase::Index;

my $cmd = shift @ARGV;
if ($cmd eq 'create') {
  my ($file, $spec) = @ARGV;
  my (@names, @types, @lengths, @decimals);
  for my $f (split /,/, $spec) {
    my ($n, $t, $l, $d) = split /:/, $f;
    push @names, $n; push @types, $t; push @lengths, $l; push @decimals, $d;
  }
  unlink $file;
  (my $memo = $file) =~ s/\.dbf$/.dbt/i; unlink $memo;
  my $t = XBase->create(name => $file, field_names => \@names, field_types => \@types,
                        field_lengths => \@lengths, field_decimals => \@decimals)
    or die XBase->errstr;
  my $n = 0;
  while (my $line = <STDIN>) {
    chomp $line;
    my $deleted = $line =~ s/^\*//;
    my @v = split /\|/, $line, -1;
    $t->set_record($n, @v) or die $t->errstr;
    $t->delete_record($n) if $deleted;
    $n++;
  }
  $t->close;
} elsif ($cmd eq 'idx') {
  my ($file, $out, $column) = @ARGV;
  my $t = XBase->new($file) or die XBase->errstr;
  unlink $out;
  XBase::idx->create($t, $out, $column) or die "idx create failed";
} elsif ($cmd eq 'dump' || $cmd eq 'find') {
  my ($file, $tag, $key) = @ARGV;
  my %opts;
  $opts{tag} = $tag if defined $tag && $tag ne '';
  $opts{type} = 'C';
  my $idx = XBase::Index->new($file, %opts) or die XBase::Index->errstr;
  if ($cmd eq 'find') {
    $idx->prepare_select_eq($key);
    my ($k, $r) = $idx->fetch;
    print defined $k && $k eq $key ? "$r\n" : "none\n";
    exit 0;
  }
  $idx->prepare_select;
  while (my ($k, $r) = $idx->fetch) { print "$k\t$r\n"; }
} else {
  die "unknown command $cmd\n";
}
