#pragma once
// TksParser: the configurable lexer of the script engine. It holds one source text and a
// 1-based position; every token reader starts at the current position and returns the empty
// string when nothing of its kind stands there, leaving the caller to move back.

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

class TksParser {
public:
    TksParser();

    // Empties the keywords and restores every setting to the PascalScript defaults.
    void Reset();

    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool value) { caseSensitive_ = value; }
    const std::string& CommentBlock1() const { return commentBlock1_; }
    const std::string& CommentBlock2() const { return commentBlock2_; }
    // "opener,closer" in comma-text form.
    void SetCommentBlock1(std::string_view pair);
    void SetCommentBlock2(std::string_view pair);
    const std::string& CommentLine1() const { return commentLine1_; }
    void SetCommentLine1(std::string value) { commentLine1_ = std::move(value); }
    const std::string& CommentLine2() const { return commentLine2_; }
    void SetCommentLine2(std::string value) { commentLine2_ = std::move(value); }
    const std::string& HexSequence() const { return hexSequence_; }
    void SetHexSequence(std::string value) { hexSequence_ = std::move(value); }
    // The identifier set becomes exactly these characters.
    void SetIdentChars(std::string_view chars);
    void AddIdentChar(unsigned char c) { identChars_.set(c); }
    bool IsIdentChar(unsigned char c) const { return identChars_.test(c); }
    void AddKeyword(std::string_view word);
    const std::vector<std::string>& Keywords() const { return keywords_; }
    const std::string& SkipChar() const { return skipChar_; }
    void SetSkipChar(std::string value) { skipChar_ = std::move(value); }
    bool SkipEOL() const { return skipEOL_; }
    void SetSkipEOL(bool value) { skipEOL_ = value; }
    bool SkipBlanks() const { return skipBlanks_; }
    void SetSkipBlanks(bool value) { skipBlanks_ = value; }
    bool SpecStrChar() const { return specStrChar_; }
    void SetSpecStrChar(bool value) { specStrChar_ = value; }
    const std::string& StringQuotes() const { return stringQuotes_; }
    void SetStringQuotes(std::string value) { stringQuotes_ = std::move(value); }
    bool TrackLines() const { return trackLines_; }
    void SetTrackLines(bool value) { trackLines_ = value; }

    // The source without the appended character 0.
    std::string_view Text() const { return std::string_view(text_).substr(0, size_); }
    void SetText(std::string_view source);
    int Size() const { return size_; }
    int Position() const { return position_; }
    void SetPosition(int position) { position_ = position; }
    int TokenStart() const { return tokenStart_; }
    // Sets Position and TokenStart.
    void SetCurrentPos(int position) { position_ = tokenStart_ = position; }

    void SkipSpaces();
    bool MatchLineEnd();
    std::string GetWord();
    std::string GetIdent();
    bool IsKeyword(std::string_view word) const;
    std::string GetChar();
    // The literal's value in single quotes, with no quote inside doubled.
    std::string GetString();
    std::string GetNumber();
    // The text of a <...> report expression whose "<" has been read; stops before its ">".
    std::string GetReportString();
    // "line:col" of Position, both from 1.
    std::string GetPositionText() const;
    int PositionFromPoint(int column, int line) const;

private:
    char At(int position) const { return text_[static_cast<std::size_t>(position - 1)]; }
    bool StartsAt(int position, std::string_view s) const;
    bool SkipComment();
    bool ReadInteger();
    bool ReadReal();

    bool caseSensitive_ = false;
    std::string commentBlock1_, commentBlock2_;
    std::string block1Open_, block1Close_, block2Open_, block2Close_;
    std::string commentLine1_, commentLine2_;
    std::string hexSequence_;
    std::bitset<256> identChars_;
    std::vector<std::string> keywords_;      // as the grammar spells them
    std::vector<std::string> keywordsLower_; // sorted, for case-insensitive lookup
    std::string skipChar_;
    bool skipEOL_ = true;
    bool skipBlanks_ = true;
    bool specStrChar_ = false;
    std::string stringQuotes_;
    bool trackLines_ = true;

    std::string text_ = std::string(1, '\0');
    int size_ = 0;
    int position_ = 1;
    int tokenStart_ = 1;
    std::vector<int> lines_{0};
};
