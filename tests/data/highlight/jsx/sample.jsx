import { useState } from 'react';
import PropTypes from 'prop-types';
import Avatar from './Avatar.jsx';

// A comment card with a reply form; the text is user content, so quotes abound.
export function Comment({ author, body, replies = [], onReply }) {
  const [open, setOpen] = useState(false);
  const [draft, setDraft] = useState('');

  const submit = (event) => {
    event.preventDefault();
    if (draft.trim().length < 3) return;
    onReply(draft);
    setDraft('');
  };

  return (
    <article className="comment" id={`comment-${author.id}`}>
      <Avatar user={author} size={48} />
      <div className="comment__body">
        <h3>{author.name} said:</h3>
        <p>{body}</p>
        {replies.length > 0 ? (
          <ul>
            {replies.map((reply) => <li key={reply.id}>{reply.text}</li>)}
          </ul>
        ) : (
          <p className="muted">No replies yet. Don't be shy!</p>
        )}
        <button type="button" onClick={() => setOpen(!open)} disabled={!author.active}>
          {open ? 'Cancel' : "Reply"}
        </button>
        {open && (
          <form onSubmit={submit}>
            <textarea value={draft} onChange={(e) => setDraft(e.target.value)} rows={3} />
            <p className="hint">You've got {500 - draft.length} characters left &amp; that's plenty.</p>
            <button>Send</button>
          </form>
        )}
      </div>
    </article>
  );
}

Comment.propTypes = {
  author: PropTypes.shape({ id: PropTypes.number, name: PropTypes.string }).isRequired,
  body: PropTypes.string,
};

const Empty = () => <p className="empty">It's quiet in here.</p>;

export default function Thread({ comments }) {
  if (!comments.length) return <Empty />;
  return <>{comments.map((c) => <Comment key={c.id} {...c} onReply={(text) => console.log(text)} />)}</>;
}

// Code after the markup paints as code again.
const escapes = /['"]/g;
export const quote = (text) => text.replace(escapes, (ch) => (ch === "'" ? '&#39;' : '&quot;'));
