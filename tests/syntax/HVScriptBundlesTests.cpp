// The shipped shell, Perl, PHP and Ruby definitions on the constructs of real files that a
// naive reading gets wrong: "#" that is no comment, heredocs, quote-like operators, regex
// literals, documentation blocks. Each case names a piece of a snippet and what paints it.

#include "HVSyntaxTestSupport.h"

#include <gtest/gtest.h>

TEST(HVScriptBundles, Shell) {
    HVCheckShippedBundle(
        "Shell Script",
        {
            // "#" inside a word or a parameter expansion starts no comment.
            {"n=$# ; x=1", "x=1", "other"},
            {"n=${#a[@]} ; x=1", "x=1", "other"},
            {"echo ${v#p} x", "x", "other"},
            {"f=${v##*/} x", "x", "other"},
            {"echo a#b x", "x", "other"},
            {"echo x # note", "# note", "comment"},
            // An escaped quote outside a string opens none.
            {"echo don\\'t x", "t x", "other"},
            {"echo 'it' x", "'it'", "string"},
            // Heredocs, to their own label alone on a line; a here-string is none.
            {"cat <<EOF\nit's # no\nEOF\nx", "it's # no", "string"},
            {"cat <<EOF\nit's\nEOF\nx", "\nx", "other"},
            {"cat <<-EOF\n\tit's\n\tEOF\nx", "\nx", "other"},
            {"cat <<'EOF'\n$x\nEOF\nx", "$x", "string"},
            {"cat <<\"EOF\"\na\nEOF\nx", "\nx", "other"},
            {"cat <<< \"$v\" x", " x", "other"},
            {"echo $((1<<2)) x", " x", "other"},
            {"cat << \\EOF\nit's\nEOF\nx", "\nx", "other"},
            // Quotes nest inside a command substitution in a string.
            {"echo \"$(basename \"$0\")\" x", "\"$0\"", "string"},
            // A backslash is literal in single quotes; outside, it quotes.
            {"case $a in *'\\'*) x;; esac", ") x;;", "other"},
            {"echo don\\'t", "\\'", "constant.character.escape"},
            {"run a \\\n  b", "\\\n", "constant.character.escape"},
            {"f ${1?\"it's\"} x", "\"it's\"", "string"},
            // A command in back-ticks is code, as in $(...).
            {"x=`basename \"$f\"` y", {{"basename", "other"}, {"\"$f\"", "string"}}},
        });
}

TEST(HVScriptBundles, Perl) {
    HVCheckShippedBundle(
        "Perl", {
                    {"my $n = $#list; x", "; x", "other"},
                    // Documentation blocks at line starts, to "=cut".
                    {"=head1 NAME\n\nx - y\n\n=cut\nmy $x;", "x - y", "comment"},
                    {"=pod\nx\n=cut\nmy $x;", "my $x;", "other"},
                    {"$a = $b ==pod; x", "; x", "other"},
                    // Quote-like operators are strings, match and substitution patterns.
                    {"my @a = qw(it's a b); x", {{"it's", "string"}, {"; x", "other"}}},
                    {"my $s = q{it's}; x", "it's", "string"},
                    {"my $s = qq[\"a\"]; x", "\"a\"", "string"},
                    {"my $s = qq|it's|; x", "; x", "other"},
                    {"for (qw,a ' b,) { x }", "{ x }", "other"},
                    {"%h = (q => 1); 'a'", "'a'", "string"},
                    {"$x =~ m{a#b}; x", "a#b", "string"},
                    {"$x =~ s/a'/b'/g; x", {{"; x", "other"}, {"b'", "string"}}},
                    {"$x =~ s{a'}{b'}g; x", "b'", "string"},
                    {"$x =~ s#a#b#; x", "; x", "other"},
                    {"$x =~ tr/a-z'/A-Z/; x", "; x", "other"},
                    {"$x =~ y!a!b!; x", "; x", "other"},
                    {"$h{s} = 1; # c", "# c", "comment"},
                    {"print -s($f); x", "; x", "other"},
                    // Heredocs.
                    {"print <<\"END\";\nit's\nEND\nx", {{"it's", "string"}, {"\nx", "other"}}},
                    {"print <<'END';\n$x\nEND\nx", "\nx", "other"},
                    {"print <<END;\nit's\nEND\nx", "\nx", "other"},
                    {"print <<~END;\n  it's\n  END\nx", "\nx", "other"},
                    {"my $y = 1 << 2; # c", "# c", "comment"},
                    // What follows __END__ is never run.
                    {"1;\n__END__\nit's", {{"it's", "comment"}, {"__END__", "constant.language"}}},
                    {"$, = $\"; x", "; x", "other"},
                    // Patterns without "m", and the flags after any pattern.
                    {"if ($s =~ /it's/) { x }", {{"{ x }", "other"}, {"/it's/", "string"}}},
                    {"@a = split /'/, $s; x", "; x", "other"},
                    {"$c =~ /^(\n  a # it's\n)/x; y", "; y", "other"},
                    {"$l =~ s/^\n  (it's)\n/x/x; y", "; y", "other"},
                    {"$x =~ s/a/b/gi; x", "b/gi", "string"},
                    // Brackets nest inside bracketed quotes and patterns.
                    {"my $s = q(a (b) it's); x", "; x", "other"},
                    {"$x =~ s{a{2}}{b}g; x", "{b}g", "string"},
                });
}

TEST(HVScriptBundles, PHP) {
    HVCheckShippedBundle(
        "PHP Code",
        {
            // An empty block comment closes.
            {"/**/ $x = 1;", "$x = 1;", "other"},
            {"/** doc */ $x = 1;", "doc", "comment"},
            // An attribute is no comment; a "#" comment still is.
            {"#[Route('/a')]\nfunction f() {}", {{"function", "other"}, {"'/a'", "string"}}},
            {"$a = 1; # c", "# c", "comment"},
            // Heredocs and nowdocs, their end label indented and followed by ; , or ).
            {"$s = <<<EOT\nit's\nEOT;\n$x = 1;", {{"it's", "string"}, {"$x = 1;", "other"}}},
            {"$s = <<<'EOT'\nit's\n  EOT;\n$x = 1;", "$x = 1;", "other"},
            {"f(<<<\"EOT\"\nit's\n    EOT, 2); $x = 1;", "$x = 1;", "other"},
            {"f(<<<EOT\nit's\nEOT); $x = 1;", "$x = 1;", "other"},
            {"$s = <<<EOT\nEOTX\nEOT;\n$x = 1;", "EOTX", "string"},
        });
}

TEST(HVScriptBundles, Ruby) {
    HVCheckShippedBundle(
        "Ruby", {
                    // Heredocs.
                    {"s = <<~EOS\n  it's\n  EOS\nx", {{"it's", "string"}, {"\nx", "other"}}},
                    {"s = <<-EOS\n  it's\n  EOS\nx", "\nx", "other"},
                    {"s = <<EOS\nit's\nEOS\nx", "\nx", "other"},
                    {"s = <<~'EOS'\nit's\nEOS\nx", "\nx", "other"},
                    {"class << self; x", "; x", "other"},
                    // Documentation blocks at line starts.
                    {"=begin\nit's\n=end\nx", {{"it's", "comment"}, {"\nx", "other"}}},
                    {"a ==begin; x", "; x", "other"},
                    // Word and symbol lists.
                    {"a = %w(it's b); x", {{"it's", "string"}, {"; x", "other"}}},
                    {"a = %i[it's b]; x", "it's", "string"},
                    {"a = %w{it's}; x", "; x", "other"},
                    // Regex literals where an expression starts; a slash elsewhere divides.
                    {"if s =~ /it's #a/ then x",
                     {{"it's #a", "string"}, {" then x", "other"}, {" =~ ", "other"}}},
                    {"a.split(/'/, 2)", {{"2)", "other"}, {"'", "string"}}},
                    {"when /a\\/'/ then x", " then x", "other"},
                    {"/it's/.match(s)", "it's", "string"},
                    {"if /it's/ =~ s", "it's", "string"},
                    {"r = a / b / c # c", "# c", "comment"},
                    {"r = a / b; c = '/'", "'/'", "string"},
                    {"a << /#{s}'/; b = 1", "; b = 1", "other"},
                    // Bare percent literals where an expression starts.
                    {"F = %{a 'b' # c}; x", "; x", "other"},
                    {"F = %(it's); x", "; x", "other"},
                    // Quotes inside an interpolation do not end the string.
                    {"s = \"#{h[\"k\"]}\" x", "k", "string"},
                });
}
