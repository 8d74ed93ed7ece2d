# A FreePWING parser for freepwing_source.txt: a heading line ("kana 【kanji】" or a
# word), then one line of text; both the kana and the kanji are forward and backward
# keys; the entry "apple" plays a PCM recording. Written in UTF-8; the test converts it
# to EUC-JP for FreePWING.
use FreePWING::FPWUtils::FPWParser;

$fpwword2   = FreePWING::FPWUtils::Word2->new();
$fpwheading = FreePWING::FPWUtils::Heading->new();
$fpwtext    = FreePWING::FPWUtils::Text->new();
$fpwword2->open()   || die $fpwword2->error_message() . "\n";
$fpwheading->open() || die $fpwheading->error_message() . "\n";
$fpwtext->open()    || die $fpwtext->error_message() . "\n";

for (;;) {
   last if (!defined($_ = <>));
   chomp;
   $fpwtext->new_entry() || die $fpwtext->error_message() . "\n";
   $fpwheading->new_entry() || die $fpwheading->error_message() . "\n";
   $fpwheading->add_text($_) || die $fpwheading->error_message() . "\n";
   if (!$fpwtext->add_keyword_start() || !$fpwtext->add_text($_)
      || !$fpwtext->add_keyword_end() || !$fpwtext->add_newline()) {
      die $fpwtext->error_message() . "\n";
   }
   ($kanaword = $_) =~ s/ 【.*$//;
   $heading_position = $fpwheading->entry_position();
   $text_position = $fpwtext->entry_position();
   $fpwword2->add_entry($kanaword, $heading_position, $text_position)
      || die $fpwword2->error_message() . "\n";
   if (/ 【(.*)】$/) {
      $fpwword2->add_entry($1, $heading_position, $text_position)
         || die $fpwword2->error_message() . "\n";
   }
   last if (!defined($_ = <>));
   $fpwtext->add_text($_) && $fpwtext->add_newline() || die $fpwtext->error_message() . "\n";
   # The entry "apple" plays the recording "chime" (sounds.txt).
   if (/apple/) {
      $fpwtext->add_sound_start('chime') && $fpwtext->add_text('[sound]') && $fpwtext->add_sound_end()
         && $fpwtext->add_newline() || die $fpwtext->error_message() . "\n";
   }
}
$fpwword2->close()   || die $fpwword2->error_message() . "\n";
$fpwheading->close() || die $fpwheading->error_message() . "\n";
$fpwtext->close()    || die $fpwtext->error_message() . "\n";
