#!/usr/bin/perl
use strict;
use warnings;

# Summarise an Apache access log: requests per page, status codes and
# the busiest hours, for the weekly report of the shop.

use Getopt::Long qw(GetOptions);
use POSIX qw(strftime);

my $top     = 10;
my $verbose = 0;
my %pages;
my %statuses;
my @hours = (0) x 24;

GetOptions(
    'top=i'   => \$top,
    'verbose' => \$verbose,
) or die "usage: $0 [--top N] [--verbose] access.log ...\n";

package LogLine;

sub new {
    my ($class, %args) = @_;
    my $self = { %args };
    return bless $self, $class;
}

sub is_page {
    my $self = shift;
    return $self->{path} !~ m{\.(?:css|js|png|jpe?g|gif|svg|ico|woff2?)$}i;
}

package main;

sub parse_line {
    my ($line) = @_;
    chomp $line;
    my @fields = split /\s+/, $line;
    return unless @fields >= 9;
    my ($hour) = $fields[3] =~ /:(\d\d):/;
    return LogLine->new(
        host   => $fields[0],
        hour   => $hour + 0,
        method => substr($fields[5], 1),
        path   => $fields[6],
        status => $fields[8],
    );
}

while (my $line = <>) {
    my $entry = parse_line($line) or next;
    $statuses{ $entry->{status} }++;
    $hours[ $entry->{hour} ]++;
    next unless $entry->is_page;
    $pages{ $entry->{path} }++;
    print STDERR "page: $entry->{path}\n" if $verbose;
}

my @sorted = sort { $pages{$b} <=> $pages{$a} or $a cmp $b } keys %pages;
splice(@sorted, $top) if @sorted > $top;

printf "Report of %s\n\n", strftime('%Y-%m-%d', localtime);
print "Top pages:\n";
foreach my $path (@sorted) {
    printf "  %6d  %s\n", $pages{$path}, $path;
}

print "\nStatus codes:\n";
for my $status (sort keys %statuses) {
    my $label = $status =~ /^2/ ? 'ok' : $status =~ /^3/ ? 'redirect' : 'error';
    printf "  %s  %-8s %d\n", $status, $label, $statuses{$status};
}

my ($busiest) = sort { $hours[$b] <=> $hours[$a] } 0 .. 23;
print "\nBusiest hour: ${busiest}:00\n";

__END__

=head1 NAME

log-report.pl - summarise an access log

=head1 SYNOPSIS

  log-report.pl --top 20 /var/log/apache2/access.log

=cut
