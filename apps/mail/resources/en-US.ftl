# Vexa Mail, en-US.
# Keys are added as surfaces are migrated off literals; a string still written as a literal
# is simply not translated yet.

## List header

mail-search-placeholder = Search

## Account setup sheet

mail-setup-heading-add = Add account
mail-setup-heading-edit = Account settings
mail-setup-subtitle-add = Enter your email — server details fill in automatically.
mail-setup-label-display-name = Display name
mail-setup-label-email = Email
mail-setup-label-username = Username
mail-setup-label-password = Password
mail-setup-label-imap-host = IMAP host
mail-setup-label-smtp-host = SMTP host
mail-setup-label-port = Port
mail-setup-label-sign-in = Sign-in
mail-setup-auth-password = Password
mail-setup-auth-oauth = OAuth
# { $provider } is the OAuth provider's own name (Gmail, Outlook, …).
mail-setup-oauth-sign-in = Sign in with { $provider }
mail-setup-oauth-provider-fallback = your provider
mail-setup-oauth-note-available = Opens your browser to authorize (OAuth2 + PKCE).
mail-setup-oauth-note-unavailable = Not available in this installation · Password sign-in is available.
mail-setup-tls = TLS
mail-setup-hint-verified = Credentials are verified before the account is saved.
mail-setup-save = Save & verify
mail-setup-verifying = Verifying…
mail-setup-finding-provider = Finding provider…
mail-setup-cancel = Cancel
mail-setup-remove = Remove

## Compose window

mail-compose-label-to = To
mail-compose-label-cc = Cc
mail-compose-label-bcc = Bcc
mail-compose-label-subject = Subject
mail-compose-placeholder-to = recipients
mail-compose-cc-bcc = Cc/Bcc
mail-compose-attach = 📎 Attach
mail-compose-send = Send
mail-compose-save-draft = Save draft
mail-compose-discard = Discard
# Inline prompt bar above the buttons (attach a file path / insert a link).
mail-compose-prompt-attach = Attach
mail-compose-prompt-link = Link
mail-compose-prompt-add = Add
mail-compose-prompt-cancel = Cancel
