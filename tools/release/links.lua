-- pandoc filter for the release's HTML pages: a link to a document beside
-- this one (console.md, reference.md#status-codes) leads to its page.
function Link(link)
  link.target = link.target:gsub("^([%w_-]+)%.md(#?)", "%1.html%2")
  return link
end
