#include "sentences.h"

#include "message.h"

namespace stego {

std::vector<std::string> encryptedTextNotice()
{
    return {"You have an Encrypted Text Message!", "You require Lockharbour (and the Password)",
            "to Decrypt and read this message!", "Lockharbour is available from www.lockharbour.example"};
}

std::string tooMuchTextSentence(std::string_view excess, bool utf8, bool atLeast)
{
    std::string sentence = "The Message has ";
    if (atLeast)
        sentence += "at least ";
    sentence.append(excess);
    // A lower bound is a whole number, and "at least 1" is one of them.
    const bool one = atLeast && excess == "1";
    sentence += utf8 ? (one ? " byte" : " bytes") : (one ? " character" : " characters");
    sentence += utf8 ? " more than the image can accommodate as UTF-8" : " more than the image can accommodate";
    return sentence;
}

std::string cutShortSentence()
{
    return "The text cannot be hidden: it holds the phrase \"" + std::string(kEndMarker)
           + "\", which marks where a hidden text ends, so it would read back cut short there.";
}

std::string utf8Question(std::string_view characters)
{
    return "These characters are outside the code page every version reads: " + std::string(characters)
           + "\r\n\r\nThe text can be hidden as UTF-8 instead, which older versions and other programs show "
             "garbled.\r\n\r\nHide it as UTF-8?";
}

}  // namespace stego
