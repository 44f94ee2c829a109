// The shipped shell, Perl, PHP and Ruby definitions on the constructs of real files that a
// naive reading gets wrong: "#" that is no comment, heredocs, quote-like operators, regex
// literals, documentation blocks. Each case names a piece of a snippet and what paints it.

#include "Defaults.h"
#include "HVKeywordBasedParser.h"
#include "HVPropertyList.h"
#include "HVSyntaxTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    std::u16string_view text;
    // The first occurrence of this in the text is checked.
    std::u16string_view piece;
    // "comment", "string" (patterns too) or "other", from the style id that painted the piece;
    // "mixed" when the piece has more than one.
    const char* expected;
};

std::string classOfStyle(const HVAttributes& attributes) {
    const HVAttributeValue* value = attributes.value(HVStyleAttribute);
    const std::string* style = value ? std::get_if<std::string>(value) : nullptr;
    for (const char* kind : {"comment", "string"}) {
        if (style && style->rfind(kind, 0) == 0)
            return kind;
    }
    return "other";
}

void checkCases(const std::string& bundle, std::initializer_list<Case> cases) {
    auto syntax =
        HVPropertyList::readFromFile(Defaults::applicationResourcesDirectory() + "/Bundles/" +
                                     bundle + ".hvbundle/Contents/syntax.plist");
    ASSERT_TRUE(syntax);
    HVKeywordBasedParser parser(nullptr, *syntax);
    EXPECT_TRUE(parser.loadErrors().empty());
    parser.setTheme(HVMakeTestTheme({"comment", "string"}));
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.text) + " | " + HVUnicode::utf8(test.piece));
        std::size_t at = test.text.find(test.piece);
        ASSERT_NE(at, std::u16string_view::npos);
        HVTextBuffer buffer(test.text);
        parser.parseRange({0, test.text.size()}, buffer);
        std::string found;
        buffer.enumerateRuns({at, test.piece.size()}, [&](HVRange, const HVAttributes& attributes) {
            std::string kind = classOfStyle(attributes);
            found = found.empty() || found == kind ? kind : "mixed";
        });
        EXPECT_EQ(found, test.expected);
    }
}

} // namespace

TEST(HVScriptBundles, Shell) {
    checkCases("Shell Script",
               {
                   // "#" inside a word or a parameter expansion starts no comment.
                   {u"n=$# ; x=1", u"x=1", "other"},
                   {u"n=${#a[@]} ; x=1", u"x=1", "other"},
                   {u"echo ${v#p} x", u"x", "other"},
                   {u"f=${v##*/} x", u"x", "other"},
                   {u"echo a#b x", u"x", "other"},
                   {u"echo x # note", u"# note", "comment"},
                   // An escaped quote outside a string opens none.
                   {u"echo don\\'t x", u"t x", "other"},
                   {u"echo 'it' x", u"'it'", "string"},
                   // Heredocs, to their own label alone on a line; a here-string is none.
                   {u"cat <<EOF\nit's # no\nEOF\nx", u"it's # no", "string"},
                   {u"cat <<EOF\nit's\nEOF\nx", u"\nx", "other"},
                   {u"cat <<-EOF\n\tit's\n\tEOF\nx", u"\nx", "other"},
                   {u"cat <<'EOF'\n$x\nEOF\nx", u"$x", "string"},
                   {u"cat <<\"EOF\"\na\nEOF\nx", u"\nx", "other"},
                   {u"cat <<< \"$v\" x", u" x", "other"},
                   {u"echo $((1<<2)) x", u" x", "other"},
               });
}

TEST(HVScriptBundles, Perl) {
    checkCases("Perl", {
                           {u"my $n = $#list; x", u"; x", "other"},
                           // Documentation blocks at line starts, to "=cut".
                           {u"=head1 NAME\n\nx - y\n\n=cut\nmy $x;", u"x - y", "comment"},
                           {u"=pod\nx\n=cut\nmy $x;", u"my $x;", "other"},
                           {u"$a = $b ==pod; x", u"; x", "other"},
                           // Quote-like operators are strings, match and substitution patterns.
                           {u"my @a = qw(it's a b); x", u"it's", "string"},
                           {u"my @a = qw(it's a b); x", u"; x", "other"},
                           {u"my $s = q{it's}; x", u"it's", "string"},
                           {u"my $s = qq[\"a\"]; x", u"\"a\"", "string"},
                           {u"my $s = qq|it's|; x", u"; x", "other"},
                           {u"$x =~ m{a#b}; x", u"a#b", "string"},
                           {u"$x =~ s/a'/b'/g; x", u"; x", "other"},
                           {u"$x =~ s/a'/b'/g; x", u"b'", "string"},
                           {u"$x =~ s{a'}{b'}g; x", u"b'", "string"},
                           {u"$x =~ s#a#b#; x", u"; x", "other"},
                           {u"$x =~ tr/a-z'/A-Z/; x", u"; x", "other"},
                           {u"$x =~ y!a!b!; x", u"; x", "other"},
                           {u"$h{s} = 1; # c", u"# c", "comment"},
                           {u"print -s($f); x", u"; x", "other"},
                           // Heredocs.
                           {u"print <<\"END\";\nit's\nEND\nx", u"it's", "string"},
                           {u"print <<\"END\";\nit's\nEND\nx", u"\nx", "other"},
                           {u"print <<'END';\n$x\nEND\nx", u"\nx", "other"},
                           {u"print <<END;\nit's\nEND\nx", u"\nx", "other"},
                           {u"print <<~END;\n  it's\n  END\nx", u"\nx", "other"},
                           {u"my $y = 1 << 2; # c", u"# c", "comment"},
                       });
}

TEST(HVScriptBundles, PHP) {
    checkCases("PHP Code",
               {
                   // An empty block comment closes.
                   {u"/**/ $x = 1;", u"$x = 1;", "other"},
                   {u"/** doc */ $x = 1;", u"doc", "comment"},
                   // An attribute is no comment; a "#" comment still is.
                   {u"#[Route('/a')]\nfunction f() {}", u"function", "other"},
                   {u"#[Route('/a')]\nfunction f() {}", u"'/a'", "string"},
                   {u"$a = 1; # c", u"# c", "comment"},
                   // Heredocs and nowdocs, their end label indented and followed by ; , or ).
                   {u"$s = <<<EOT\nit's\nEOT;\n$x = 1;", u"it's", "string"},
                   {u"$s = <<<EOT\nit's\nEOT;\n$x = 1;", u"$x = 1;", "other"},
                   {u"$s = <<<'EOT'\nit's\n  EOT;\n$x = 1;", u"$x = 1;", "other"},
                   {u"f(<<<\"EOT\"\nit's\n    EOT, 2); $x = 1;", u"$x = 1;", "other"},
                   {u"f(<<<EOT\nit's\nEOT); $x = 1;", u"$x = 1;", "other"},
                   {u"$s = <<<EOT\nEOTX\nEOT;\n$x = 1;", u"EOTX", "string"},
               });
}

TEST(HVScriptBundles, Ruby) {
    checkCases("Ruby", {
                           // Heredocs.
                           {u"s = <<~EOS\n  it's\n  EOS\nx", u"it's", "string"},
                           {u"s = <<~EOS\n  it's\n  EOS\nx", u"\nx", "other"},
                           {u"s = <<-EOS\n  it's\n  EOS\nx", u"\nx", "other"},
                           {u"s = <<EOS\nit's\nEOS\nx", u"\nx", "other"},
                           {u"s = <<~'EOS'\nit's\nEOS\nx", u"\nx", "other"},
                           {u"class << self; x", u"; x", "other"},
                           // Documentation blocks at line starts.
                           {u"=begin\nit's\n=end\nx", u"it's", "comment"},
                           {u"=begin\nit's\n=end\nx", u"\nx", "other"},
                           {u"a ==begin; x", u"; x", "other"},
                           // Word and symbol lists.
                           {u"a = %w(it's b); x", u"it's", "string"},
                           {u"a = %w(it's b); x", u"; x", "other"},
                           {u"a = %i[it's b]; x", u"it's", "string"},
                           {u"a = %w{it's}; x", u"; x", "other"},
                           // Regex literals where an expression starts; a slash elsewhere divides.
                           {u"if s =~ /it's #a/ then x", u"it's #a", "string"},
                           {u"if s =~ /it's #a/ then x", u" then x", "other"},
                   {u"if s =~ /it's #a/ then x", u" =~ ", "other"},
                           {u"a.split(/'/, 2)", u"2)", "other"},
                           {u"a.split(/'/, 2)", u"'", "string"},
                           {u"when /a\\/'/ then x", u" then x", "other"},
                           {u"/it's/.match(s)", u"it's", "string"},
                           {u"if /it's/ =~ s", u"it's", "string"},
                           {u"r = a / b / c # c", u"# c", "comment"},
                           {u"r = a / b; c = '/'", u"'/'", "string"},
                       });
}
